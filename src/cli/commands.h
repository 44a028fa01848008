// The command-line tool's commands. Each returns the process exit status: 0 only on success.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace tvd::cli {

struct Options {
    bool json = false;
    std::string simulate;          // folder of simulated drives; empty: the machine's own drives
    std::vector<std::string> args; // what follows the command name, options removed
};

int RunCommandLine(int argc, char** argv, std::FILE* out, std::FILE* err);

} // namespace tvd::cli
