// Pictures of the shell's own windows (splash, message box) by resource name: the controls'
// picture cache, at the render nearest the window's DPI. A missing picture draws nothing.
#pragma once
#include <windows.h>

namespace tvd::win {

// True when the picture was drawn.
bool DrawPicture(HDC dc, const char* name, const RECT& r);
bool PictureExists(const char* name);

} // namespace tvd::win
