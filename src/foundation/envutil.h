// Facts about the running system, learned once: version code, true version numbers, processor
// architecture, product type, administrator rights. Nothing here shows a window or a message.
#pragma once
#include <cstdint>
#include <string>

namespace tvd {

namespace oscode {
inline constexpr std::uint32_t kUnknown = 0;
inline constexpr std::uint32_t kWin95 = 0x10001;
inline constexpr std::uint32_t kWin98 = 0x10002;
inline constexpr std::uint32_t kWinMe = 0x10003;
inline constexpr std::uint32_t kNt4 = 0x10101;
inline constexpr std::uint32_t kWin2000 = 0x10102;
inline constexpr std::uint32_t kWinXp = 0x10103;
inline constexpr std::uint32_t kServer2003 = 0x10104;
inline constexpr std::uint32_t kVista = 0x10105;
inline constexpr std::uint32_t kServer2008 = 0x10106;
inline constexpr std::uint32_t kWin7 = 0x10107;
inline constexpr std::uint32_t kServer2008R2 = 0x10108;
inline constexpr std::uint32_t kWin8 = 0x10109;
inline constexpr std::uint32_t kServer2012 = 0x1010A;
inline constexpr std::uint32_t kWin81 = 0x1010B;
inline constexpr std::uint32_t kServer2012R2 = 0x1010C;
inline constexpr std::uint32_t kWin10 = 0x1010D;
inline constexpr std::uint32_t kWin10Server = 0x1010E;
} // namespace oscode

namespace osarch {
inline constexpr std::uint32_t kOther = 0;
inline constexpr std::uint32_t kX86 = 1;
inline constexpr std::uint32_t kX64 = 2;
inline constexpr std::uint32_t kIa64 = 3;
inline constexpr std::uint32_t kArm64 = 4;
} // namespace osarch

// Platform ids of the version information (OSVERSIONINFO dwPlatformId).
inline constexpr std::uint32_t kPlatformWin9x = 1;
inline constexpr std::uint32_t kPlatformNt = 2;

struct EnvRecord {
    std::uint32_t osCode = 0;
    std::uint32_t major = 0, minor = 0, build = 0; // build masked to 16 bits on Windows
    std::uint32_t arch = 0;
    std::uint32_t productType = 0; // GetProductInfo type, 0 when not available
    bool isServer = false;
    bool isAdmin = false;
    // Descriptive facts for reports and the command-line tool (all platforms).
    std::string osName;    // Windows: "Windows" plus version; Linux: PRETTY_NAME of os-release
    std::string osVersion; // Linux: VERSION_ID; Windows: "major.minor.build"
    std::string kernel;    // Linux: uname release; Windows: empty
    std::string machine;   // uname machine or the processor architecture name
};

// Pure rules, the same on every platform.
std::uint32_t OsCodeFromVersion(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                                bool server);
// Processor architecture of GetNativeSystemInfo to the arch code; NT 4 and 2000 count as x86.
std::uint32_t ArchFromProcessorArchitecture(std::uint16_t processorArchitecture,
                                            std::uint32_t major, std::uint32_t minor);
bool IsNtCode(std::uint32_t code);
bool IsVistaOrLaterCode(std::uint32_t code);
bool IsWin10OrLaterCode(std::uint32_t code);
bool IsNative64Arch(std::uint32_t arch);
// Display name of a GetProductInfo product type, nullptr when the type has none.
const char* ProductName(std::uint32_t productType);

// The process-wide record, filled on the first call of any accessor.
const EnvRecord& DetectOs();
inline std::uint32_t OsCode() {
    return DetectOs().osCode;
}
inline std::uint32_t OsMajor() {
    return DetectOs().major;
}
inline std::uint32_t OsMinor() {
    return DetectOs().minor;
}
inline std::uint32_t OsBuild() {
    return DetectOs().build;
}
inline std::uint32_t OsArch() {
    return DetectOs().arch;
}
inline std::uint32_t OsProductType() {
    return DetectOs().productType;
}
inline bool IsServer() {
    return DetectOs().isServer;
}
inline bool IsAdmin() {
    return DetectOs().isAdmin;
}
inline bool IsNt() {
    return IsNtCode(OsCode());
}
inline bool IsVistaOrLater() {
    return IsVistaOrLaterCode(OsCode());
}
inline bool IsWin10OrLater() {
    return IsWin10OrLaterCode(OsCode());
}
inline bool IsNative64() {
    return IsNative64Arch(OsArch());
}

// The administrator test itself (uncached). Windows: the volume of the Windows directory opens
// for read and write. Linux: effective root or CAP_SYS_RAWIO.
bool ProbeAdmin();
// Windows PE: the MiniNT control key exists. Always false elsewhere.
bool IsWinPe();
// Enables the process privileges the engine uses; true when the token could be opened.
// Linux has no token privileges: false (not supported).
bool EnablePrivileges();
// Installed physical memory in bytes, 0 when unknown.
std::uint64_t PhysicalMemoryBytes();

} // namespace tvd
