// The pie segment: the sector of an ellipse from a start angle to an end angle, counterclockwise,
// degrees from 3 o'clock. GDI's Pie takes two radial points instead of angles.
#pragma once
#include "shell/controls/controltypes.h"

namespace tvd {

struct PieRadials {
    bool wholeEllipse; // equal angles (mod 360): the whole ellipse
    Point start;
    Point end;
};
PieRadials PieRadialsFor(const Rect& ellipse, int startDegrees, int endDegrees);

} // namespace tvd
