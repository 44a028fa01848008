// The main window `TFormTarvikdornMain`: borderless, 1280 x 768 client (scaled by DPI / 96),
// the menu with its seven pages, the active-drive selector, the drag area and the title
// buttons, all of them controls on one frame over the client area; the staged start and the
// tick run on its timer.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

#include "shell/mainpagesutil.h"

namespace tvd {
class TclCustomFrame;
}

namespace tvd::win {

inline constexpr UINT_PTR kMainTimerId = 1;
inline constexpr UINT kMsgPendingClose = WM_APP + 1;
inline constexpr UINT kMsgOpenTestBox = WM_APP + 2;

struct MainOptions {
    bool restart = false;
    std::wstring simulate; // --simulate DIR
    std::wstring uiTest;   // --ui-test DIR
};

// Registers the classes and creates the main window hidden and off-screen; KernelInitialize
// runs first. Null when the window cannot be made.
HWND CreateMainWindow(HINSTANCE instance, const MainOptions& options);
HWND MainWindow();
MainShell* Shell();
int Dpi();
int Px(int value96);

// The content frame of the page at `index` in menu order (323, 76, 769 x 631; shown while its
// page is current); null before step f or out of range. The pages build their controls on it.
TclCustomFrame* PageContentFrame(std::size_t index);

// The staged start's step f: pages, frames, selector and fonts.
bool BuildMainContents();
// Text refresh after a language change (steps f and h).
void ApplyLanguage();
// Step l: centre in the work area and show.
void ShowMainWindow();

} // namespace tvd::win
