// The Drive Information page on Win32: its content and scroll box on the page's content frame
// of the main window, and one TclDiskFrame per drive, applying what clPageSsd computes.
#pragma once
#include <windows.h>

#include <memory>

#include "shell/controls/win32/wincontrols.h"
#include "shell/pagessdutil.h"

namespace tvd::win {

// The page on `pageFrame` (its content frame on the main window, 769 x 631), hooked to the disk
// notifications of the shell. Null when its controls cannot be built.
std::unique_ptr<clMenuPage> CreatePageSsd(const MenuEntry& entry, TclCustomFrame& pageFrame);

} // namespace tvd::win
