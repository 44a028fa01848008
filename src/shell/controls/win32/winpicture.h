// Pictures from the executable's RCDATA resources, decoded once into premultiplied 32-bit DIB
// sections and drawn with AlphaBlend; fonts made once per face, height and DPI.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "shell/controls/controltypes.h"

namespace tvd {

class WinPicture {
public:
    WinPicture(HBITMAP bitmap, int width, int height) : bitmap_(bitmap), w_(width), h_(height) {}
    ~WinPicture();
    WinPicture(const WinPicture&) = delete;
    WinPicture& operator=(const WinPicture&) = delete;

    int Width() const { return w_; } // device pixels of the decoded picture
    int Height() const { return h_; }
    HBITMAP Bitmap() const { return bitmap_; }
    // Premultiplied BGRA of pixel (x, y), for tests.
    std::uint32_t PixelAt(int x, int y) const;

private:
    HBITMAP bitmap_;
    int w_, h_;
};

// The picture `name` from `module`'s RCDATA (null: the executable), exactly as stored: the 1x
// resource for scale 1, NAME_2X for scale 2. Null when absent or not a valid PNG.
std::shared_ptr<const WinPicture> LoadPictureResource(HMODULE module, std::string_view name,
                                                      int scale);

// The picture drawn at `dpi`: the nearer of the 1x and 2x renders, the 1x one when the 2x is
// missing. Cached for the life of the process; null when the picture does not exist.
std::shared_ptr<const WinPicture> PictureForDpi(std::string_view name, int dpi);

// Stretches the whole picture over `dest` (device pixels), blending by its alpha.
void DrawPicture(HDC dc, const WinPicture& picture, const RECT& dest);

// A font for `spec` at `dpi`, owned by a process-wide cache (do not delete it).
HFONT FontForDpi(const FontSpec& spec, int dpi);

// The system DPI the layout is scaled to (LOGPIXELSY of the screen).
int SystemDpi();

inline COLORREF ToColorRef(Rgb c) {
    return RGB(RgbRed(c), RgbGreen(c), RgbBlue(c));
}
inline RECT ToRect(const Rect& r) {
    return {r.left, r.top, r.Right(), r.Bottom()};
}

} // namespace tvd
