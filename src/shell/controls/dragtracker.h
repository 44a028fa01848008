// TclDrager's rule, and TclFormMove's use of it: while the left button is held, each move shifts
// the window by the distance from the press point (both in the window's client coordinates, so
// the distance stays relative as the window follows the mouse).
#pragma once
#include <optional>

#include "shell/controls/controltypes.h"

namespace tvd {

class DragTracker {
public:
    void Press(Point at);
    // The offset to add to the window's position, or none when not dragging.
    std::optional<Point> Move(Point at) const;
    // Ends the drag; the last move's offset, or none when not dragging.
    std::optional<Point> Release(Point at);
    // Capture lost: the drag ends without a final move.
    void Cancel() { dragging_ = false; }
    bool Dragging() const { return dragging_; }

private:
    bool dragging_ = false;
    Point press_;
};

} // namespace tvd
