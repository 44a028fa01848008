#include "cli/console.h"

namespace tvd::cli {

// Linux terminals take UTF-8 as they are.
void PrepareConsole() {}

} // namespace tvd::cli
