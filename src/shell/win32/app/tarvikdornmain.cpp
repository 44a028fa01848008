// The window program's entry point.
#include <windows.h>

#include "shell/win32/mainuifun.h"
#include "shell/win32/tapplicationutil.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return tvd::win::Guarded([instance] { return tvd::win::RunTarvikdornMain(instance); });
}
