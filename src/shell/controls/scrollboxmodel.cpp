#include "shell/controls/scrollboxmodel.h"

#include <algorithm>

namespace tvd {

void ScrollBoxModel::SetViewport(int top, int height) {
    viewportTop_ = top;
    viewportHeight_ = std::max(height, 0);
}

void ScrollBoxModel::SetRange(int range) {
    range_ = std::max(range, 0);
    position_ = std::clamp(position_, 0, range_);
}

int ScrollBoxModel::ScrollTo(int position) {
    position_ = std::clamp(position, 0, range_);
    return position_;
}

int ScrollBoxModel::ScrollIntoView(int itemTop, int itemHeight) {
    int pos = position_;
    if (itemTop + itemHeight > pos + viewportHeight_) pos = itemTop + itemHeight - viewportHeight_;
    if (itemTop < pos) pos = itemTop;
    return ScrollTo(pos);
}

void ScrollBoxModel::SetBoxVisible(bool visible) {
    boxVisible_ = visible;
    if (!visible) position_ = 0;
}

} // namespace tvd
