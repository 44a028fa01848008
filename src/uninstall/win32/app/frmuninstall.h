// The uninstaller's window program: process start ("-close", "-silent", single instance) and
// the wizard window.
#pragma once
#include <windows.h>

namespace tvd::uninstall {

int RunUninstall(HINSTANCE instance);

} // namespace tvd::uninstall
