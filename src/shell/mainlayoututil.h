// The main window's layout in pixels at 96 DPI, as data: the window draws and hit-tests from
// these rows and the tests compare the window's dump with them. Other DPIs scale every row by
// DPI / 96.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "shell/controls/buttonlook.h"
#include "shell/controls/dpiscale.h"

namespace tvd {

inline constexpr int kMainClientWidth = 1280;
inline constexpr int kMainClientHeight = 768;
inline constexpr int kSplashWidth = 520;
inline constexpr int kSplashHeight = 290;

struct LayoutRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const LayoutRect&) const = default;
    bool Contains(int x, int y) const {
        return x >= left && y >= top && x < left + width && y < top + height;
    }
};

struct LayoutRow {
    const char* name;  // stable name in the test dump
    const char* kind;  // what draws it
    LayoutRect rect;   // at 96 DPI; a label's width is its text's
    std::uint32_t rgb; // main colour (0xRRGGBB), 0 when the row has none
    const char* picture;
    int textId; // message id of the text, 0 for none
};

// Every fixed row of the layout, in z-order (bottom first): frame, drag area, title, buttons,
// logo, menu buttons and separators, divider, selector, content frames, advertisement.
const std::vector<LayoutRow>& MainLayoutRows();
const LayoutRow* FindLayoutRow(const char* name);

// The layout scales like every control (ScaleForDpi in controls/dpiscale.h): edges are scaled,
// so rows that touch at 96 DPI still touch.
LayoutRect ScaleRect(const LayoutRect& r, int dpi);

// The advertisement's address for the UI language: the configured base followed by the
// language's path; empty when no base is configured (the click then does nothing).
std::string AdvertisementAddress(const std::string& base, std::uint16_t langId);

} // namespace tvd
