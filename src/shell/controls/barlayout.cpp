#include "shell/controls/barlayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tvd {

double ClampPercent(double percent) {
    if (std::isnan(percent)) return 0.0;
    return std::clamp(percent, 0.0, 100.0);
}

int PercentFill(double percent, int width) {
    if (width <= 0) return 0;
    double p = ClampPercent(percent);
    if (p >= 100.0) return width;
    return std::clamp(static_cast<int>(p * width / 100.0), 0, width);
}

CapacityBarLayout LayOutCapacityBar(const Rect& bar, double percent) {
    int w = std::max(bar.width, 0);
    int h = std::max(bar.height, 0);
    int labelWidth = std::max(w - 16, 0);
    return {{bar.left, bar.top, w, h},
            {bar.left, bar.top, PercentFill(percent, w), h},
            {bar.left + 8, bar.top, labelWidth, h},
            {bar.left + 8, bar.top, labelWidth, h}};
}

ProgressBarLayout LayOutProgressBar(const Rect& bar, double percent) {
    int w = std::max(bar.width, 0);
    int h = std::max(bar.height, 0);
    int innerW = std::max(w - 2, 0);
    int innerH = std::max(h - 2, 0);
    int fill = innerH > 0 ? PercentFill(percent, innerW) : 0;
    return {{bar.left, bar.top, w, h}, {bar.left + 1, bar.top + 1, fill, innerH}};
}

std::u16string ProgressBarText(double percent) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f %%", ClampPercent(percent));
    return std::u16string(buf, buf + std::char_traits<char>::length(buf));
}

} // namespace tvd
