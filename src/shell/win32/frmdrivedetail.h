// The drive details window (`clFormDriveDetail`): the drive's raw identification data field by
// field, the NVMe Identify Controller structure or the ATA IDENTIFY DEVICE words, in a list view
// under a header with the drive's model.
#pragma once
#include <windows.h>

#include "drive/clfundisk.h"
#include "shell/win32/clformchild.h"

namespace tvd::win {

// Step g of the staged start: the one instance, built hidden. False when it could not be made.
bool BuildDriveDetailWindow();
// Shows the window modally for `disk`; returns once it is closed (by its close button, or
// because the disk was removed). Nothing happens before the window is built.
void ShowDriveDetailsWindow(clFunDisk* disk);
// The instance (null before step g); the test mode closes it through Close().
clFormChild* DriveDetailWindow();

} // namespace tvd::win
