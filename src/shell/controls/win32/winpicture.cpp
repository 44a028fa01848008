#include "shell/controls/win32/winpicture.h"

#include <map>
#include <mutex>
#include <tuple>

#include "foundation/pngimageutil.h"
#include "shell/controls/dpiscale.h"

namespace tvd {

WinPicture::~WinPicture() {
    if (bitmap_) DeleteObject(bitmap_);
}

std::uint32_t WinPicture::PixelAt(int x, int y) const {
    DIBSECTION ds{};
    if (x < 0 || y < 0 || x >= w_ || y >= h_ || !GetObjectW(bitmap_, sizeof ds, &ds) ||
        !ds.dsBm.bmBits)
        return 0;
    GdiFlush();
    auto* row = static_cast<const std::uint8_t*>(ds.dsBm.bmBits) +
                static_cast<std::size_t>(y) * static_cast<std::size_t>(ds.dsBm.bmWidthBytes);
    const std::uint8_t* p = row + static_cast<std::size_t>(x) * 4;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

namespace {

std::shared_ptr<const WinPicture> FromPng(ByteView bytes) {
    PngImage png;
    if (DecodePng(bytes, png) != err::kSuccess) return nullptr;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = static_cast<LONG>(png.width);
    bi.bmiHeader.biHeight = -static_cast<LONG>(png.height); // top-down rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp || !bits) {
        if (bmp) DeleteObject(bmp);
        return nullptr;
    }
    auto* out = static_cast<std::uint8_t*>(bits);
    const std::size_t pixels = static_cast<std::size_t>(png.width) * png.height;
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t* s = &png.rgba[i * 4];
        unsigned a = s[3];
        // AlphaBlend with AC_SRC_ALPHA wants the colour already multiplied by alpha.
        out[i * 4 + 0] = static_cast<std::uint8_t>((s[2] * a + 127) / 255);
        out[i * 4 + 1] = static_cast<std::uint8_t>((s[1] * a + 127) / 255);
        out[i * 4 + 2] = static_cast<std::uint8_t>((s[0] * a + 127) / 255);
        out[i * 4 + 3] = static_cast<std::uint8_t>(a);
    }
    return std::make_shared<WinPicture>(bmp, static_cast<int>(png.width),
                                        static_cast<int>(png.height));
}

std::wstring Wide(std::string_view ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

} // namespace

std::shared_ptr<const WinPicture> LoadPictureResource(HMODULE module, std::string_view name,
                                                      int scale) {
    if (name.empty()) return nullptr;
    std::wstring res = Wide(PictureResourceName(name, scale));
    HRSRC info = FindResourceW(module, res.c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!info) return nullptr;
    DWORD size = SizeofResource(module, info);
    HGLOBAL handle = LoadResource(module, info);
    const void* data = handle ? LockResource(handle) : nullptr;
    if (!data || size == 0) return nullptr;
    return FromPng(ByteView(static_cast<const std::uint8_t*>(data), size));
}

std::shared_ptr<const WinPicture> PictureForDpi(std::string_view name, int dpi) {
    static std::mutex lock;
    static std::map<std::pair<std::string, int>, std::shared_ptr<const WinPicture>> cache;
    int scale = PictureScaleForDpi(dpi);
    std::lock_guard<std::mutex> guard(lock);
    auto key = std::make_pair(std::string(name), scale);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    auto pic = LoadPictureResource(nullptr, name, scale);
    if (!pic && scale != 1) pic = LoadPictureResource(nullptr, name, 1);
    cache.emplace(key, pic);
    return pic;
}

void DrawPicture(HDC dc, const WinPicture& picture, const RECT& dest) {
    if (dest.right <= dest.left || dest.bottom <= dest.top) return;
    HDC mem = CreateCompatibleDC(dc);
    if (!mem) return;
    HGDIOBJ old = SelectObject(mem, picture.Bitmap());
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, mem, 0, 0,
               picture.Width(), picture.Height(), blend);
    SelectObject(mem, old);
    DeleteDC(mem);
}

HFONT FontForDpi(const FontSpec& spec, int dpi) {
    using Key = std::tuple<std::u16string, int, bool, int, int>;
    static std::mutex lock;
    static std::map<Key, HFONT> cache;
    Key key{spec.face, spec.heightPx, spec.bold, spec.charset, dpi};
    std::lock_guard<std::mutex> guard(lock);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    std::wstring face(spec.face.begin(), spec.face.end());
    if (face.size() >= LF_FACESIZE) face.resize(LF_FACESIZE - 1);
    // A negative height asks for the character height, as the layout gives it.
    HFONT font =
        CreateFontW(-ScaleForDpi(spec.heightPx, dpi), 0, 0, 0, spec.bold ? FW_BOLD : FW_NORMAL,
                    FALSE, FALSE, FALSE, spec.charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                    CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
    if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    cache.emplace(key, font);
    return font;
}

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : kLayoutDpi;
    if (screen) ReleaseDC(nullptr, screen);
    return EffectiveDpi(dpi);
}

} // namespace tvd
