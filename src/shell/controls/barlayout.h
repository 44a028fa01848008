// Capacity bar and progress bar: the filled part follows a floating-point percentage.
#pragma once
#include <string>

#include "shell/controls/controltypes.h"

namespace tvd {

// 0 to 100; NaN counts as 0 (a division by a zero total upstream must not paint garbage).
double ClampPercent(double percent);

// Filled pixels of a bar `width` wide: percent x width / 100, truncated.
int PercentFill(double percent, int width);

inline constexpr Rgb kCapacityBarBack = 0xC5C5C5;
inline constexpr Rgb kCapacityBarLeftText = kWhite;
inline constexpr Rgb kCapacityBarRightText = 0x575757;

struct CapacityBarLayout {
    Rect background;
    Rect gradient; // width 0 draws nothing
    Rect leftLabel;
    Rect rightLabel;
};
CapacityBarLayout LayOutCapacityBar(const Rect& bar, double percent);

struct ProgressBarLayout {
    Rect outline;
    Rect fill; // inside the outline; width 0 draws nothing
};
ProgressBarLayout LayOutProgressBar(const Rect& bar, double percent);

// The bar's label, "%.2f %%" of the clamped percentage.
std::u16string ProgressBarText(double percent);

} // namespace tvd
