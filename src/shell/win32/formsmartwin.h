// The S.M.A.R.T. window (clFormSmart): the drive's attributes in an ATA or NVMe list view under
// a header with its model, filled once per opening.
#pragma once
#include <windows.h>

#include "drive/clfundisk.h"
#include "shell/win32/clformchild.h"

namespace tvd::win {

// Step g of the staged start: the one instance, built hidden. False when it could not be made.
bool BuildSmartWindow();
// Shows the window modally for `disk`; returns once it is closed (by its close button, or
// because the disk was removed). Nothing happens before the window is built.
void ShowSmartWindow(clFunDisk* disk);
// The instance (null before step g).
clFormChild* SmartWindow();

} // namespace tvd::win
