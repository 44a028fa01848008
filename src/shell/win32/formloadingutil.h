// The splash window: borderless, stay-on-top, white, 520 x 290 with a grey outline and its
// picture; shown through the staged start, closed after the splash rule.
#pragma once
#include <windows.h>

#include <cstdint>

namespace tvd::win {

bool BuildSplash(HINSTANCE instance);
// Shows and centres it, pumps messages and records the shown-at second of the monotonic clock.
void ShowSplash();
void SplashProgress(int value);
// Waits for the splash rule, then closes it; nothing when there is no splash.
void CloseSplash();
HWND SplashWindow();

} // namespace tvd::win
