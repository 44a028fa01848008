#include "shell/win32/mainpictureutil.h"

#include <map>
#include <string>

#include "foundation/pngimageutil.h"

namespace tvd::win {

namespace {

struct Picture {
    HBITMAP bitmap = nullptr;
    int width = 0, height = 0;
};

std::map<std::string, Picture>& Cache() {
    static std::map<std::string, Picture> cache;
    return cache;
}

Picture Load(const char* name) {
    Picture p;
    HRSRC res = FindResourceA(nullptr, name, MAKEINTRESOURCEA(10)); // RT_RCDATA
    if (!res) return p;
    const DWORD size = SizeofResource(nullptr, res);
    HGLOBAL mem = LoadResource(nullptr, res);
    const void* data = mem ? LockResource(mem) : nullptr;
    if (!data || size == 0) return p;
    PngImage image;
    if (DecodePng(ByteView(static_cast<const std::uint8_t*>(data), size), image) != err::kSuccess)
        return p;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = static_cast<LONG>(image.width);
    bi.bmiHeader.biHeight = -static_cast<LONG>(image.height);
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp || !bits) return p;
    auto* out = static_cast<std::uint8_t*>(bits);
    const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t* s = &image.rgba[i * 4];
        const unsigned a = s[3];
        out[i * 4 + 0] = static_cast<std::uint8_t>(s[2] * a / 255);
        out[i * 4 + 1] = static_cast<std::uint8_t>(s[1] * a / 255);
        out[i * 4 + 2] = static_cast<std::uint8_t>(s[0] * a / 255);
        out[i * 4 + 3] = static_cast<std::uint8_t>(a);
    }
    p.bitmap = bmp;
    p.width = static_cast<int>(image.width);
    p.height = static_cast<int>(image.height);
    return p;
}

const Picture& Get(const char* name) {
    auto& cache = Cache();
    auto it = cache.find(name);
    if (it == cache.end()) it = cache.emplace(name, Load(name)).first;
    return it->second;
}

} // namespace

bool PictureExists(const char* name) {
    return name && Get(name).bitmap != nullptr;
}

bool DrawPicture(HDC dc, const char* name, const RECT& r) {
    if (!name) return false;
    const Picture& p = Get(name);
    if (!p.bitmap) return false;
    HDC mem = CreateCompatibleDC(dc);
    if (!mem) return false;
    HGDIOBJ old = SelectObject(mem, p.bitmap);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const BOOL ok = AlphaBlend(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mem, 0, 0,
                               p.width, p.height, blend);
    SelectObject(mem, old);
    DeleteDC(mem);
    return ok != FALSE;
}

void FreePictures() {
    for (auto& [name, p] : Cache())
        if (p.bitmap) DeleteObject(p.bitmap);
    Cache().clear();
}

} // namespace tvd::win
