// The Drive Information page on Win32: its content frame and scroll box in the page's area of
// the main window, and one TclDiskFrame per drive, applying what clPageSsd computes.
#pragma once
#include <windows.h>

#include <memory>

#include "shell/pagessdutil.h"

namespace tvd::win {

// The page in `area` (the main window's page area for it), hooked to the disk notifications of
// the shell. Null when its controls cannot be built.
std::unique_ptr<clMenuPage> CreatePageSsd(const MenuEntry& entry, HWND area);

} // namespace tvd::win
