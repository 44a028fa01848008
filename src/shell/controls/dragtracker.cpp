#include "shell/controls/dragtracker.h"

namespace tvd {

void DragTracker::Press(Point at) {
    dragging_ = true;
    press_ = at;
}

std::optional<Point> DragTracker::Move(Point at) const {
    if (!dragging_) return std::nullopt;
    return Point{at.x - press_.x, at.y - press_.y};
}

std::optional<Point> DragTracker::Release(Point at) {
    auto offset = Move(at);
    dragging_ = false;
    return offset;
}

} // namespace tvd
