// Facts about the running Linux system. There is no Windows version here: the version code and
// the Windows version numbers stay 0, so no Windows-only path is ever taken by mistake.
#include "foundation/envutil.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string_view>

namespace tvd {

namespace {

std::uint32_t ArchFromMachine(std::string_view machine) {
    if (machine == "x86_64") return osarch::kX64;
    if (machine.size() == 4 && machine[0] == 'i' && machine.substr(2) == "86" &&
        machine[1] >= '3' && machine[1] <= '6')
        return osarch::kX86;
    if (machine == "aarch64") return osarch::kArm64;
    return osarch::kOther;
}

// KEY=value lines of os-release; values may be quoted with shell-style escapes.
std::map<std::string, std::string> ReadOsRelease() {
    std::map<std::string, std::string> fields;
    std::ifstream in("/etc/os-release");
    if (!in) in.open("/usr/lib/os-release");
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        std::string value;
        const std::string raw = line.substr(eq + 1);
        const char quote = (!raw.empty() && (raw[0] == '"' || raw[0] == '\'')) ? raw[0] : '\0';
        for (std::size_t i = quote ? 1 : 0; i < raw.size(); ++i) {
            if (quote && raw[i] == quote) break;
            if (quote == '"' && raw[i] == '\\' && i + 1 < raw.size()) ++i;
            value += raw[i];
        }
        fields[line.substr(0, eq)] = value;
    }
    return fields;
}

EnvRecord Detect() {
    EnvRecord rec;
    utsname uts{};
    if (uname(&uts) == 0) {
        rec.kernel = uts.release;
        rec.machine = uts.machine;
        rec.arch = ArchFromMachine(rec.machine);
    }
    auto os = ReadOsRelease();
    rec.osName = !os["PRETTY_NAME"].empty() ? os["PRETTY_NAME"]
                 : !os["NAME"].empty()      ? os["NAME"]
                                            : std::string("Linux");
    rec.osVersion = os["VERSION_ID"];
    rec.isAdmin = ProbeAdmin();
    return rec;
}

} // namespace

const EnvRecord& DetectOs() {
    static const EnvRecord record = Detect();
    return record;
}

bool ProbeAdmin() {
    if (geteuid() == 0) return true;
    // Raw device access needs CAP_SYS_RAWIO (bit 17) in the effective set.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("CapEff:", 0) != 0) continue;
        char* end = nullptr;
        const unsigned long long caps = std::strtoull(line.c_str() + 7, &end, 16);
        return end != line.c_str() + 7 && ((caps >> 17) & 1) != 0;
    }
    return false;
}

bool IsWinPe() {
    return false;
}

// Linux has no token privileges to enable; capabilities are granted from outside the process.
bool EnablePrivileges() {
    return false;
}

std::uint64_t PhysicalMemoryBytes() {
    struct sysinfo info {};
    if (sysinfo(&info) != 0) return 0;
    return std::uint64_t(info.totalram) * (info.mem_unit ? info.mem_unit : 1);
}

} // namespace tvd
