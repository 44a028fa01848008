// Console set-up of the command-line tool.
#pragma once

namespace tvd::cli {

// Makes standard output take UTF-8 text (the Windows console's code page is switched).
void PrepareConsole();

} // namespace tvd::cli
