// The S.M.A.R.T. window (clFormSmart): a rounded borderless modal window over the main window with
// the drive's attributes in an ATA or NVMe list view, filled once per opening.
#pragma once
#include <windows.h>

#include "drive/clfundisk.h"

namespace tvd::win {

// Shows the window for `disk` and returns once it is closed. The window holds its own reference
// to the disk; the tick goes on while it is up.
void ShowSmartWindow(clFunDisk* disk);
// The disk is leaving: the window closes when it shows that disk.
void CloseSmartWindowOf(clFunDisk* disk);
// The open window, if any.
HWND SmartWindow();

} // namespace tvd::win
