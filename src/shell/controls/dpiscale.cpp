#include "shell/controls/dpiscale.h"

#include <cstdint>

namespace tvd {

int EffectiveDpi(int dpi) {
    return dpi >= 24 && dpi <= 9600 ? dpi : kLayoutDpi;
}

namespace {
int MulDivRounded(std::int64_t v, std::int64_t num, std::int64_t den) {
    std::int64_t p = v * num;
    std::int64_t half = den / 2;
    return static_cast<int>(p >= 0 ? (p + half) / den : (p - half) / den);
}
} // namespace

int FontHeightFromPoints(int points) {
    return MulDivRounded(points, kLayoutDpi, 72);
}

int ScaleForDpi(int layoutPx, int dpi) {
    return MulDivRounded(layoutPx, EffectiveDpi(dpi), kLayoutDpi);
}

int UnscaleForDpi(int devicePx, int dpi) {
    return MulDivRounded(devicePx, kLayoutDpi, EffectiveDpi(dpi));
}

Rect ScaleRect(const Rect& layout, int dpi) {
    int l = ScaleForDpi(layout.left, dpi);
    int t = ScaleForDpi(layout.top, dpi);
    return {l, t, ScaleForDpi(layout.Right(), dpi) - l, ScaleForDpi(layout.Bottom(), dpi) - t};
}

Point ScalePoint(Point layout, int dpi) {
    return {ScaleForDpi(layout.x, dpi), ScaleForDpi(layout.y, dpi)};
}

int PictureScaleForDpi(int dpi) {
    return EffectiveDpi(dpi) * 2 >= kLayoutDpi * 3 ? 2 : 1;
}

std::string PictureResourceName(std::string_view name, int scale) {
    std::string out(name);
    if (scale >= 2) out += "_2X";
    return out;
}

} // namespace tvd
