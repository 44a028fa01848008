#include "cli/commands.h"

#include <cstring>
#include <string_view>

#include "cli/machineinfo.h"

namespace tvd::cli {

namespace {

constexpr const char* kVersion = "0.1.0";

int CmdSystem(const Options& o, std::FILE* out, std::FILE* err) {
    if (!o.args.empty()) {
        std::fprintf(err, "tarvikdorn: system takes no arguments\n");
        return 2;
    }
    MachineInfo info = GatherMachineInfo();
    std::string text = o.json ? MachineInfoJson(info) : MachineInfoText(info);
    std::fputs(text.c_str(), out);
    return 0;
}

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const Options&, std::FILE*, std::FILE*);
};

const Command kCommands[] = {
    {"system", "what this machine is: operating system, processor, memory, board", CmdSystem},
};

void Usage(std::FILE* f) {
    std::fprintf(f, "usage: tarvikdorn [--json] [COMMAND [ARGS]]\n\ncommands:\n");
    for (const auto& c : kCommands)
        std::fprintf(f, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(f, "\noptions:\n  --json     machine-readable output\n"
                    "  --help     this text\n  --version  the tool's version\n"
                    "\nWithout a command: system.\n");
}

} // namespace

int RunCommandLine(int argc, char** argv, std::FILE* out, std::FILE* err) {
    Options o;
    std::string command;
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        if (a == "--json") {
            o.json = true;
        } else if (a == "--help" || a == "-h") {
            Usage(out);
            return 0;
        } else if (a == "--version") {
            std::fprintf(out, "tarvikdorn %s\n", kVersion);
            return 0;
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(err, "tarvikdorn: unknown option %s\n", argv[i]);
            Usage(err);
            return 2;
        } else if (command.empty()) {
            command = a;
        } else {
            o.args.emplace_back(a);
        }
    }
    if (command.empty()) command = "system";
    for (const auto& c : kCommands)
        if (command == c.name) return c.run(o, out, err);
    std::fprintf(err, "tarvikdorn: unknown command %s\n", command.c_str());
    Usage(err);
    return 2;
}

} // namespace tvd::cli
