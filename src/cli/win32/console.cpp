#include "cli/console.h"

#include <windows.h>

namespace tvd::cli {

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
}

} // namespace tvd::cli
