#include "cli/console.h"

#include <unistd.h>

namespace tvd::cli {

// Linux terminals take UTF-8 as they are.
void PrepareConsole() {}

bool IsTerminal(std::FILE* f) {
    return f && ::isatty(::fileno(f)) == 1;
}

} // namespace tvd::cli
