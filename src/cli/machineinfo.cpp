#include "cli/machineinfo.h"

#include <thread>

#include "cli/jsonwriter.h"
#include "cli/textformat.h"
#include "foundation/cpuidutil.h"
#include "foundation/envutil.h"
#include "foundation/errtextutil.h"
#include "foundation/smbiosutil.h"

namespace tvd::cli {

namespace {

std::string Str(ByteView blob, std::int64_t off, std::size_t field) {
    auto s = SmbiosFieldString(blob, off, field);
    return s ? std::string(*s) : std::string();
}

const char* ArchName(std::uint32_t arch) {
    switch (arch) {
    case osarch::kX86:
        return "x86";
    case osarch::kX64:
        return "x64";
    case osarch::kIa64:
        return "IA-64";
    case osarch::kArm64:
        return "ARM64";
    default:
        return "other";
    }
}

} // namespace

void FillFromSmbios(const std::vector<std::uint8_t>& raw, MachineInfo& info) {
    ByteView blob(raw);
    if (raw.size() >= kSmbiosHeaderSize)
        info.smbiosVersion = std::to_string(raw[1]) + "." + std::to_string(raw[2]);
    if (auto o = FindSmbiosStructure(blob, kSmbiosHeaderSize, 0); o >= 0) {
        info.biosVendor = Str(blob, o, 4);
        info.biosVersion = Str(blob, o, 5);
        info.biosDate = Str(blob, o, 8);
    }
    if (auto o = FindSmbiosStructure(blob, kSmbiosHeaderSize, 1); o >= 0) {
        info.systemMaker = Str(blob, o, 4);
        info.systemProduct = Str(blob, o, 5);
    }
    if (auto o = FindSmbiosStructure(blob, kSmbiosHeaderSize, 2); o >= 0) {
        info.boardMaker = Str(blob, o, 4);
        info.boardProduct = Str(blob, o, 5);
        if (auto t = SmbiosByte(blob, o, 0x0D)) info.boardType = SmbiosBoardTypeName(*t);
    }
    if (auto o = FindSmbiosStructure(blob, kSmbiosHeaderSize, 3); o >= 0) {
        if (auto t = SmbiosByte(blob, o, 5))
            info.chassisType = SmbiosChassisTypeName(static_cast<std::uint8_t>(*t & 0x7F));
    }
    for (auto o = FindSmbiosStructure(blob, kSmbiosHeaderSize, 17); o >= 0;
         o = FindSmbiosStructure(blob, NextSmbiosStructure(blob, o), 17)) {
        MemoryDevice d;
        d.bytes = SmbiosMemorySize(blob, o);
        if (d.bytes == 0) continue; // empty slot
        d.locator = Str(blob, o, 0x10);
        if (auto t = SmbiosByte(blob, o, 0x12)) {
            const char* name = SmbiosMemoryTypeName(*t);
            if (name) d.type = name;
        }
        info.memoryDevices.push_back(std::move(d));
    }
}

MachineInfo GatherMachineInfo() {
    MachineInfo info;
    const EnvRecord& env = DetectOs();
    info.osName = env.osName;
    info.osVersion = env.osVersion;
    info.kernel = env.kernel;
    info.machine = env.machine;
    info.osCode = env.osCode;
    info.arch = env.arch;
    info.admin = env.isAdmin;
    info.cpuVendor = CpuVendor();
    info.cpuBrand = CpuBrand();
    info.cpuThreads = std::thread::hardware_concurrency();
    info.memoryBytes = PhysicalMemoryBytes();
    std::vector<std::uint8_t> blob;
    info.smbiosError = ReadSmbios(blob);
    if (info.smbiosError == err::kSuccess) FillFromSmbios(blob, info);
    return info;
}

namespace {

// CPUID pads the brand string with blanks (on both ends, on some processors).
std::string Tidy(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

std::string MachineInfoText(const MachineInfo& m) {
    std::string t;
    auto line = [&](const char* label, const std::string& value) {
        if (value.empty()) return;
        t += label;
        t += value;
        t += '\n';
    };
    std::string os = m.osName;
    if (!m.osVersion.empty() && os.find(m.osVersion) == std::string::npos) os += " " + m.osVersion;
    line("Operating system: ", os);
    line("Kernel:           ", m.kernel);
    line("Architecture:     ",
         std::string(ArchName(m.arch)) + (m.machine.empty() ? "" : " (" + m.machine + ")"));
    line("Administrator:    ", m.admin ? "yes" : "no");
    std::string cpu = Tidy(m.cpuBrand).empty() ? Tidy(m.cpuVendor) : Tidy(m.cpuBrand);
    if (m.cpuThreads) cpu += ", " + std::to_string(m.cpuThreads) + " threads";
    line("Processor:        ", cpu);
    line("Memory:           ", m.memoryBytes ? SizeText(m.memoryBytes) : "unknown");
    for (const auto& d : m.memoryDevices)
        line("  Module:         ", (d.locator.empty() ? std::string("?") : d.locator) + ": " +
                                       SizeText(d.bytes) + (d.type.empty() ? "" : " " + d.type));
    if (m.smbiosError != err::kSuccess) {
        line("Board:            ",
             "unknown (SMBIOS table: " + SystemErrorText(m.smbiosError) + ")");
        return t;
    }
    line("System:           ",
         m.systemMaker + (m.systemProduct.empty() ? "" : " " + m.systemProduct));
    std::string board = m.boardMaker + (m.boardProduct.empty() ? "" : " " + m.boardProduct);
    line("Board:            ", board.empty() ? "unknown" : board);
    line("Chassis:          ", m.chassisType);
    std::string bios = m.biosVendor + (m.biosVersion.empty() ? "" : " " + m.biosVersion) +
                       (m.biosDate.empty() ? "" : " (" + m.biosDate + ")");
    line("BIOS:             ", bios);
    line("SMBIOS:           ", m.smbiosVersion);
    return t;
}

std::string MachineInfoJson(const MachineInfo& m) {
    JsonWriter j;
    j.BeginObject();
    j.BeginObject("os")
        .String("name", m.osName)
        .String("version", m.osVersion)
        .String("kernel", m.kernel)
        .String("machine", m.machine)
        .Unsigned("windowsVersionCode", m.osCode)
        .String("architecture", ArchName(m.arch))
        .Bool("administrator", m.admin)
        .EndObject();
    j.BeginObject("processor")
        .String("vendor", Tidy(m.cpuVendor))
        .String("brand", Tidy(m.cpuBrand))
        .Unsigned("threads", m.cpuThreads)
        .EndObject();
    j.BeginObject("memory").Unsigned("bytes", m.memoryBytes).BeginArray("modules");
    for (const auto& d : m.memoryDevices)
        j.BeginObject()
            .String("locator", d.locator)
            .String("type", d.type)
            .Unsigned("bytes", d.bytes)
            .EndObject();
    j.EndArray().EndObject();
    if (m.smbiosError != err::kSuccess) {
        j.BeginObject("smbios")
            .Unsigned("error", m.smbiosError)
            .String("errorText", SystemErrorText(m.smbiosError))
            .EndObject();
    } else {
        j.BeginObject("smbios").String("version", m.smbiosVersion).EndObject();
        j.BeginObject("system")
            .String("manufacturer", m.systemMaker)
            .String("product", m.systemProduct)
            .EndObject();
        j.BeginObject("board")
            .String("manufacturer", m.boardMaker)
            .String("product", m.boardProduct)
            .String("type", m.boardType)
            .String("chassis", m.chassisType)
            .EndObject();
        j.BeginObject("bios")
            .String("vendor", m.biosVendor)
            .String("version", m.biosVersion)
            .String("date", m.biosDate)
            .EndObject();
    }
    j.EndObject();
    return j.Text();
}

} // namespace tvd::cli
