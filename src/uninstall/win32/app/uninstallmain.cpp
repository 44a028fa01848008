// The uninstaller's entry point.
#include <windows.h>

#include "shell/win32/tapplicationutil.h"
#include "uninstall/win32/app/frmuninstall.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return tvd::win::Guarded([instance] { return tvd::uninstall::RunUninstall(instance); });
}
