#include "cli/commands.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "cli/clicommands.h"
#include "cli/clierror.h"
#include "cli/machineinfo.h"
#include "foundation/errtextutil.h"
#include "foundation/versioninfo.h"
#include "storage/storageplatform.h"

namespace tvd::cli {

namespace {} // namespace

int CmdSystem(const Options& o, std::FILE* out, std::FILE* err) {
    if (!o.args.empty()) return Fail(o, out, err, 2, "system takes no arguments");
    MachineInfo info = GatherMachineInfo();
    std::string text = o.json ? MachineInfoJson(info) : MachineInfoText(info);
    std::fputs(text.c_str(), out);
    return 0;
}

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const Options&, std::FILE*, std::FILE*);
};

const Command kCommands[] = {
    {"list",
     "the disks: path, bus, capacity, model, firmware, SSD or HDD, health, temperature, life",
     CmdList},
    {"identify",
     "DRIVE [--raw | --fields] [--trace]: what a drive says about itself (ATA, NVMe, SCSI); "
     "--fields lists the identify data field by field",
     CmdIdentify},
    {"info", "DRIVE: identity, interface, settings key, health and partitions with their volumes",
     CmdInfo},
    {"watch",
     "[--seconds N]: drive arrivals, removals and health changes as they happen, each with its "
     "time; N=0 (the default) watches until Ctrl+C; --json writes JSON Lines",
     CmdWatch},
    {"smart", "DRIVE: the SMART attributes and what they tell: temperature, life, health, totals",
     CmdSmart},
    {"dump", "DRIVE [--output FILE [--force]]: the drive as a simulated-drive file", CmdDump},
    {"scan", "DRIVE [--quick|--full]: read-only surface scan of the drive (Ctrl-C stops it)",
     CmdScan},
    {"erase",
     "DRIVE [--method M] [--action A] [--check] [--trace] [--yes]: erase the whole drive "
     "(TRIM, sanitize or ATA security erase); --check writes nothing",
     CmdErase},
    {"clone",
     "SOURCE TARGET [--plan] [--live] [--log-dir DIR] [--yes]: copy a whole disk onto another, "
     "its partition table rebuilt for the target's size",
     CmdClone},
    {"optimize",
     "DRIVE [--volume ROOT]: SSD optimization of a volume's free space (files written and "
     "removed, then the file system's trim); Ctrl-C stops it",
     CmdOptimize},
    {"tweaks", "[show|apply|restore] [--advanced] [--yes]: the Windows settings suited to SSDs",
     CmdTweaks},
    {"benchmark",
     "VOLUME [--size N] [--passes P]: sequential and random read and write rates of a volume",
     CmdBenchmark},
    {"update-check",
     "DRIVE | --tool [--service URL] [--ca-file FILE] [--open]: asks the firmware service about "
     "a drive, or the tool service about this program",
     CmdUpdateCheck},
    {"report",
     "[FILE | --output FILE] [--force] [--utf8]: the system and drive report (UTF-16 file; "
     "without a file UTF-8 text on standard output)",
     CmdReport},
    {"system", "what this machine is: operating system, processor, memory, board", CmdSystem},
};

void Usage(std::FILE* f) {
    std::fprintf(f, "usage: tarvikdorn [--json] [COMMAND [ARGS]]\n\ncommands:\n");
    for (const auto& c : kCommands)
        std::fprintf(f, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(f, "\nDRIVE: a path or number as list shows it, or a simulated drive's name.\n");
    std::fprintf(f,
                 "\noptions:\n  --json     machine-readable output\n"
                 "  --simulate DIR  use the simulated drives described in DIR (also: the\n"
                 "             environment variable %s)\n"
                 "  --help     this text\n  --version  the tool's version\n"
                 "\nWithout a command: system.\n",
                 kSimulateEnv);
}

} // namespace

namespace {

// A command succeeded only if its output arrived (a full disk, a closed pipe).
int CheckedOutput(int status, std::FILE* out, std::FILE* err) {
    errno = 0;
    if (OutputWritten(out)) return status;
    const int error = errno;
    std::fprintf(err, "tarvikdorn: cannot write the output%s%s\n", error ? ": " : "",
                 error ? SystemErrorText(ErrorFromErrno(error)).c_str() : "");
    return status ? status : 1;
}

int RunParsed(int argc, char** argv, std::FILE* out, std::FILE* err) {
    Options o;
    if (const char* env = std::getenv(kSimulateEnv)) o.simulate = env;
    std::string command;
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        if (a == "--json") {
            o.json = true;
        } else if (a == "--simulate") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(err, "tarvikdorn: --simulate needs a folder\n");
                return 2;
            }
            o.simulate = argv[++i];
        } else if (a.rfind("--simulate=", 0) == 0) {
            o.simulate = std::string(a.substr(11));
        } else if (a == "--help" || a == "-h") {
            Usage(out);
            return 0;
        } else if (a == "--version") {
            std::fprintf(out, "tarvikdorn %u.%u.%u\n", kProductVersionNumber / 10000,
                         kProductVersionNumber / 100 % 100, kProductVersionNumber % 100);
            return 0;
        } else if (a.size() > 1 && a[0] == '-' && !command.empty()) {
            o.args.emplace_back(a); // the command's own options
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

} // namespace

int RunCommandLine(int argc, char** argv, std::FILE* out, std::FILE* err) {
    return CheckedOutput(RunParsed(argc, argv, out, err), out, err);
}

} // namespace tvd::cli
