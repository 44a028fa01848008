#include "shell/controls/comboboxmodel.h"

#include <algorithm>

namespace tvd {

void ComboBoxModel::Add(std::u16string text, std::uint64_t data) {
    items_.push_back({std::move(text), data});
    if (selected_ == kNone) selected_ = 0;
}

bool ComboBoxModel::RemoveByData(std::uint64_t data) {
    int i = IndexOfData(data);
    if (i == kNone) return false;
    items_.erase(items_.begin() + i);
    if (i < selected_) {
        --selected_;
        return false;
    }
    if (i > selected_) return false;
    selected_ = items_.empty() ? kNone : 0;
    return true;
}

void ComboBoxModel::Clear() {
    items_.clear();
    selected_ = kNone;
}

bool ComboBoxModel::Select(int index) {
    if (index < 0 || index >= Count()) {
        selected_ = kNone;
        return false;
    }
    selected_ = index;
    return true;
}

std::uint64_t ComboBoxModel::SelectedData() const {
    return selected_ == kNone ? 0 : items_[static_cast<std::size_t>(selected_)].data;
}

std::u16string ComboBoxModel::SelectedText() const {
    return selected_ == kNone ? std::u16string() : items_[static_cast<std::size_t>(selected_)].text;
}

int ComboBoxModel::IndexOfData(std::uint64_t data) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].data == data) return static_cast<int>(i);
    return kNone;
}

std::optional<Rect> ComboPopupRect(const Rect& controlOnScreen, int itemCount, int maxVisible,
                                   int itemHeight) {
    if (itemCount <= 0 || maxVisible <= 0 || itemHeight <= 0) return std::nullopt;
    int rows = std::min(itemCount, maxVisible);
    return Rect{controlOnScreen.left, controlOnScreen.top + controlOnScreen.height - 1,
                controlOnScreen.width, rows * itemHeight + 4};
}

int ComboPopupRowAt(int y, int itemHeight, int topIndex, int itemCount, int visibleRows) {
    if (itemHeight <= 0 || y < 2) return ComboBoxModel::kNone;
    int row = (y - 2) / itemHeight;
    if (row >= visibleRows) return ComboBoxModel::kNone;
    int index = row + topIndex;
    return index >= 0 && index < itemCount ? index : ComboBoxModel::kNone;
}

int ClampComboTopIndex(int topIndex, int itemCount, int visibleRows) {
    int maxTop = std::max(itemCount - std::max(visibleRows, 0), 0);
    return std::clamp(topIndex, 0, maxTop);
}

bool PopupClosesOn(PopupEvent event) {
    return event != PopupEvent::kPressInside;
}

Rect ComboDropDownRect(const Rect& control) {
    return {control.Right() - 4 - 16, control.top + 9, 16, 16};
}

Rect ComboCaptionRect(const Rect& control) {
    return {control.left + 4, control.top, std::max(control.width - 8, 0), control.height};
}

} // namespace tvd
