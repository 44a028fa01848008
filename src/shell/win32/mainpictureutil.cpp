#include "shell/win32/mainpictureutil.h"

#include "shell/controls/win32/winpicture.h"
#include "shell/win32/frmmain.h"

namespace tvd::win {

bool PictureExists(const char* name) {
    return name && PictureForDpi(name, Dpi()) != nullptr;
}

bool DrawPicture(HDC dc, const char* name, const RECT& r) {
    if (!name) return false;
    // The render nearest the window's DPI (1x or 2x), stretched over the rectangle.
    auto picture = PictureForDpi(name, Dpi());
    if (!picture) return false;
    tvd::DrawPicture(dc, *picture, r);
    return true;
}

} // namespace tvd::win
