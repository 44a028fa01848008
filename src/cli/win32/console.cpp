#include "cli/console.h"

#include <windows.h>
#include <io.h>

namespace tvd::cli {

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
}

bool IsTerminal(std::FILE* f) {
    return f && _isatty(_fileno(f)) != 0;
}

} // namespace tvd::cli
