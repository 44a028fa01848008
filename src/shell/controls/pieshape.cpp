#include "shell/controls/pieshape.h"

#include <cmath>

namespace tvd {

namespace {
int NormalDegrees(int d) {
    int m = d % 360;
    return m < 0 ? m + 360 : m;
}

Point Radial(const Rect& e, int degrees) {
    constexpr double kPi = 3.14159265358979323846;
    double a = NormalDegrees(degrees) * kPi / 180.0;
    // Twice the radius: GDI only needs a point on the ray; far out keeps rounding small.
    double cx = e.left + e.width / 2.0, cy = e.top + e.height / 2.0;
    double r = (e.width > e.height ? e.width : e.height) + 1.0;
    return {static_cast<int>(std::lround(cx + r * std::cos(a))),
            static_cast<int>(std::lround(cy - r * std::sin(a)))};
}
} // namespace

PieRadials PieRadialsFor(const Rect& ellipse, int startDegrees, int endDegrees) {
    bool whole = NormalDegrees(startDegrees) == NormalDegrees(endDegrees);
    return {whole, Radial(ellipse, startDegrees), Radial(ellipse, endDegrees)};
}

} // namespace tvd
