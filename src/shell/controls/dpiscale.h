// The layout is written in pixels of a 96-DPI screen; on another screen everything scales by
// DPI / 96 so the window keeps its physical size. Pictures exist at 1x and 2x of their layout
// size and the nearer one is drawn.
#pragma once
#include <string>
#include <string_view>

#include "shell/controls/controltypes.h"

namespace tvd {

inline constexpr int kLayoutDpi = 96;

// A DPI outside what a screen reports (0, negative, absurd) is taken as 96.
int EffectiveDpi(int dpi);

// Rounded half away from zero, like MulDiv(v, dpi, 96).
int ScaleForDpi(int layoutPx, int dpi);

// Edges are scaled, not sizes, so rectangles that touch at 96 DPI still touch when scaled.
Rect ScaleRect(const Rect& layout, int dpi);
Point ScalePoint(Point layout, int dpi);

// Device pixels back to layout pixels (mouse positions), rounded the same way.
int UnscaleForDpi(int devicePx, int dpi);

// 1 or 2: the picture scale nearest to DPI / 96 (1.5 and above take the 2x picture, which
// shrinks more cleanly than the 1x one grows).
int PictureScaleForDpi(int dpi);

// Resource name of a picture at a scale: the name itself at 1x, NAME_2X at 2x.
std::string PictureResourceName(std::string_view name, int scale);

} // namespace tvd
