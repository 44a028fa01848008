// Pictures of the window: PNG images in RCDATA resources named after the picture, decoded once
// into premultiplied 32-bit DIB sections and drawn with AlphaBlend. A missing or broken resource
// is an empty picture, which draws nothing.
#pragma once
#include <windows.h>

namespace tvd::win {

// True when the picture was drawn.
bool DrawPicture(HDC dc, const char* name, const RECT& r);
bool PictureExists(const char* name);
void FreePictures();

} // namespace tvd::win
