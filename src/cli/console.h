// Console set-up of the command-line tool.
#pragma once
#include <cstdio>

namespace tvd::cli {

// Makes standard output take UTF-8 text (the Windows console's code page is switched).
void PrepareConsole();
// Whether a stream is an interactive terminal (a live progress bar redraws in place there).
bool IsTerminal(std::FILE* f);

} // namespace tvd::cli
