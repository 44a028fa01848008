// Plain value types shared by the controls' layout rules and the window layer. Coordinates are
// layout pixels (96 DPI) unless a function says it returns device pixels.
#pragma once
#include <cstdint>
#include <string>

namespace tvd {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    bool Empty() const { return width <= 0 || height <= 0; }
    bool Contains(Point p) const {
        return p.x >= left && p.x < left + width && p.y >= top && p.y < top + height;
    }
    Rect Offset(int dx, int dy) const { return {left + dx, top + dy, width, height}; }
    bool operator==(const Rect&) const = default;
};

// 0xRRGGBB, as colours are written in the layout tables.
using Rgb = std::uint32_t;
inline constexpr Rgb kBlack = 0x000000;
inline constexpr Rgb kWhite = 0xFFFFFF;

inline constexpr std::uint8_t RgbRed(Rgb c) {
    return static_cast<std::uint8_t>(c >> 16);
}
inline constexpr std::uint8_t RgbGreen(Rgb c) {
    return static_cast<std::uint8_t>(c >> 8);
}
inline constexpr std::uint8_t RgbBlue(Rgb c) {
    return static_cast<std::uint8_t>(c);
}

// Character sets as CreateFontW takes them.
inline constexpr std::uint8_t kCharsetAnsi = 0;
inline constexpr std::uint8_t kCharsetDefault = 1;

struct FontSpec {
    std::u16string face = u"Segoe UI";
    int heightPx = 13; // character height in layout pixels (not the cell)
    bool bold = false;
    std::uint8_t charset = kCharsetDefault;
    bool operator==(const FontSpec&) const = default;
};

// Point sizes are given at 96 DPI: 12 pt is 16 pixels. Rounded as the toolkit's MulDiv does.
int FontHeightFromPoints(int points);

} // namespace tvd
