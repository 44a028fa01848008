#include "report/osnameutil.h"

#include "foundation/envutil.h"

namespace tvd {

namespace {

const char* ArchSuffix(std::uint32_t arch, bool arm64Named) {
    switch (arch) {
    case osarch::kX64:
        return "(x64)";
    case osarch::kIa64:
        return "(ia64)";
    case osarch::kArm64:
        return arm64Named ? "(arm64)" : "(32-bits)";
    default:
        return "(32-bits)";
    }
}

const char* Win10Release(std::uint32_t build) {
    switch (build) {
    case 10240:
        return "1507";
    case 10586:
        return "1511";
    case 14393:
        return "1607";
    case 15063:
        return "1703";
    case 16299:
        return "1709";
    case 17134:
        return "1803";
    case 17763:
        return "1809";
    case 18362:
        return "1903";
    case 18363:
        return "1909";
    case 19041:
        return "2004";
    case 19042:
        return "20H2";
    case 19043:
        return "21H1";
    case 19044:
        return "21H2";
    case 19045:
        return "22H2";
    default:
        return nullptr;
    }
}

std::string WithBuild(std::string name, const char* release, std::uint32_t build) {
    if (release) return name + ", version " + release;
    return name + ", Build " + std::to_string(build);
}

} // namespace

std::string OsDisplayName(std::uint32_t code, std::uint32_t arch, std::uint32_t build) {
    switch (code) {
    case oscode::kWin95:
        return "Windows 95";
    case oscode::kWin98:
        return "Windows 98";
    case oscode::kWinMe:
        return "Windows ME";
    default:
        break;
    }
    const char* suffix = ArchSuffix(arch, false);
    auto named = [&](const char* name) { return std::string(name) + " " + suffix; };
    switch (code) {
    case oscode::kWinXp:
        return named("Windows XP");
    case oscode::kServer2003:
        return named("Windows Server 2003");
    case oscode::kVista:
        return named("Windows Vista");
    case oscode::kServer2008:
        return named("Windows Server 2008");
    case oscode::kWin7:
        return named("Windows 7");
    case oscode::kServer2008R2:
        return named("Windows Server 2008 R2");
    case oscode::kWin8:
        return named("Windows 8");
    case oscode::kServer2012:
        return named("Windows Server 2012");
    case oscode::kWin81:
        return named("Windows 8.1");
    case oscode::kServer2012R2:
        return named("Windows Server 2012 R2");
    case oscode::kWin10: {
        if (build >= 22000) {
            // A 32-bit Windows 11 has no suffix.
            const std::string name =
                arch == osarch::kX64 || arch == osarch::kIa64 || arch == osarch::kArm64
                    ? std::string("Windows 11 ") + ArchSuffix(arch, true)
                    : std::string("Windows 11");
            return WithBuild(name,
                             build == 22000   ? "21H2"
                             : build == 22621 ? "22H2"
                                              : nullptr,
                             build);
        }
        return WithBuild(std::string("Windows 10 ") + ArchSuffix(arch, true), Win10Release(build),
                         build);
    }
    case oscode::kWin10Server: {
        if (build == 20348) return named("Windows Server 2022") + ", version 21H2";
        if (build == 14393) return named("Windows Server 2016");
        if (build == 17763) return named("Windows Server 2019");
        const char* release = build == 18362   ? "1903"
                              : build == 18363 ? "1909"
                              : build == 19041 ? "2004"
                              : build == 19042 ? "20H2"
                                               : nullptr;
        return WithBuild(named("Windows Server"), build < 20348 ? release : nullptr, build);
    }
    default:
        break;
    }
    return "This Windows version";
}

std::map<std::string, std::string> ParseOsRelease(std::string_view text) {
    std::map<std::string, std::string> fields;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string_view::npos || eq == 0) continue;
        const std::string_view raw = line.substr(eq + 1);
        const char quote = !raw.empty() && (raw[0] == '"' || raw[0] == '\'') ? raw[0] : '\0';
        std::string value;
        for (std::size_t i = quote ? 1 : 0; i < raw.size(); ++i) {
            if (quote && raw[i] == quote) break;
            if (quote != '\'' && raw[i] == '\\' && i + 1 < raw.size()) ++i;
            value += raw[i];
        }
        fields[std::string(line.substr(0, eq))] = value;
    }
    return fields;
}

std::string LinuxOsName(const std::string& name, const std::string& versionId, std::uint32_t arch) {
    std::string text = name.empty() ? std::string("Linux") : name;
    if (!versionId.empty()) text += " " + versionId;
    switch (arch) {
    case osarch::kX64:
        return text + " (x64)";
    case osarch::kX86:
        return text + " (32-bits)";
    case osarch::kArm64:
        return text + " (arm64)";
    case osarch::kIa64:
        return text + " (ia64)";
    default:
        return text;
    }
}

} // namespace tvd
