#include <cstdio>

#include "cli/commands.h"
#include "cli/console.h"

int main(int argc, char** argv) {
    tvd::cli::PrepareConsole();
    return tvd::cli::RunCommandLine(argc, argv, stdout, stderr);
}
