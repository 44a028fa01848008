#include "foundation/envutil.h"

#include <windows.h>

#include <cstdio>

#include "foundation/winfolderutila.h"
#include "foundation/win32/winhandle.h"
#include "foundation/win32/winmodules.h"

namespace tvd {

namespace {

const char* MachineName(WORD processorArchitecture) {
    switch (processorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL:
        return "x86";
    case PROCESSOR_ARCHITECTURE_AMD64:
        return "AMD64";
    case PROCESSOR_ARCHITECTURE_IA64:
        return "IA64";
    case PROCESSOR_ARCHITECTURE_ARM:
        return "ARM";
    case PROCESSOR_ARCHITECTURE_ARM64:
        return "ARM64";
    default:
        return "unknown";
    }
}

const char* VersionName(std::uint32_t code, std::uint32_t build) {
    switch (code) {
    case oscode::kWin95:
        return "Windows 95";
    case oscode::kWin98:
        return "Windows 98";
    case oscode::kWinMe:
        return "Windows Me";
    case oscode::kNt4:
        return "Windows NT 4.0";
    case oscode::kWin2000:
        return "Windows 2000";
    case oscode::kWinXp:
        return "Windows XP";
    case oscode::kServer2003:
        return "Windows Server 2003";
    case oscode::kVista:
        return "Windows Vista";
    case oscode::kServer2008:
        return "Windows Server 2008";
    case oscode::kWin7:
        return "Windows 7";
    case oscode::kServer2008R2:
        return "Windows Server 2008 R2";
    case oscode::kWin8:
        return "Windows 8";
    case oscode::kServer2012:
        return "Windows Server 2012";
    case oscode::kWin81:
        return "Windows 8.1";
    case oscode::kServer2012R2:
        return "Windows Server 2012 R2";
    case oscode::kWin10:
        return build >= 22000 ? "Windows 11" : "Windows 10";
    case oscode::kWin10Server:
        return "Windows Server";
    default:
        return "Windows";
    }
}

void Describe(EnvRecord& r, WORD processorArchitecture) {
    char version[40];
    std::snprintf(version, sizeof version, "%u.%u.%u", unsigned(r.major), unsigned(r.minor),
                  unsigned(r.build));
    r.osVersion = version;
    r.osName = VersionName(r.osCode, r.build);
    r.machine = MachineName(processorArchitecture);
}

EnvRecord Detect() {
    EnvRecord r;
    OSVERSIONINFOEXA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    bool extended = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&vi)) != FALSE;
    if (!extended) { // systems before the extended record
        vi = {};
        vi.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&vi))) return r;
    }

    if (vi.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        r.major = vi.dwMajorVersion;
        r.minor = vi.dwMinorVersion;
        r.build = vi.dwBuildNumber & 0xFFFF;
        r.osCode = OsCodeFromVersion(kPlatformWin9x, r.major, r.minor, false);
        r.arch = osarch::kX86;
        r.isAdmin = true; // no accounts to speak of
        Describe(r, PROCESSOR_ARCHITECTURE_INTEL);
        return r;
    }
    if (vi.dwPlatformId != VER_PLATFORM_WIN32_NT) return r;

    // The version information lies to programs without a compatibility manifest; the loader's
    // own numbers do not.
    r.major = vi.dwMajorVersion;
    r.minor = vi.dwMinorVersion;
    r.build = vi.dwBuildNumber;
    if (auto rtl = win::BoundRtlGetNtVersionNumbers()) {
        DWORD major = 0, minor = 0, build = 0;
        rtl(&major, &minor, &build);
        if (major != 0) {
            r.major = major;
            r.minor = minor;
            r.build = build;
        }
    }
    r.build &= 0xFFFF; // the loader sets flag bits above the build number
    // Domain controllers are servers as much as member servers are.
    r.isServer = extended && vi.wProductType != VER_NT_WORKSTATION;
    r.osCode = OsCodeFromVersion(kPlatformNt, r.major, r.minor, r.isServer);

    SYSTEM_INFO si{};
    if (auto native = win::BoundGetNativeSystemInfo())
        native(&si);
    else
        GetSystemInfo(&si);
    r.arch = ArchFromProcessorArchitecture(si.wProcessorArchitecture, r.major, r.minor);

    if (auto productInfo = win::BoundGetProductInfo()) {
        DWORD type = 0;
        if (productInfo(r.major, r.minor, 0, 0, &type)) r.productType = type;
    }
    r.isAdmin = ProbeAdmin();
    Describe(r, si.wProcessorArchitecture);
    return r;
}

} // namespace

const EnvRecord& DetectOs() {
    static const EnvRecord record = Detect();
    return record;
}

bool ProbeAdmin() {
    const char letter = WindowsDriveLetter();
    if (!letter) return false;
    wchar_t volume[] = L"\\\\.\\X:";
    volume[4] = static_cast<wchar_t>(letter);
    win::UniqueHandle h(CreateFileW(volume, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    return h.valid();
}

bool IsWinPe() {
    win::UniqueHKey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\MiniNT", 0,
                         KEY_QUERY_VALUE, key.out()) == ERROR_SUCCESS;
}

bool EnablePrivileges() {
    static const wchar_t* const kPrivileges[] = {
        L"SeShutdownPrivilege",
        L"SeBackupPrivilege",
        L"SeRestorePrivilege",
        L"SeSystemtimePrivilege",
        L"SeAssignPrimaryTokenPrivilege",
        L"SeAuditPrivilege",
        L"SeChangeNotifyPrivilege",
        L"SeCreatePagefilePrivilege",
        L"SeCreatePermanentPrivilege",
        L"SeCreateTokenPrivilege",
        L"SeDebugPrivilege",
        L"SeEnableDelegationPrivilege",
        L"SeImpersonatePrivilege",
        L"SeIncreaseBasePriorityPrivilege",
        L"SeIncreaseQuotaPrivilege",
        L"SeLoadDriverPrivilege",
        L"SeLockMemoryPrivilege",
        L"SeMachineAccountPrivilege",
        L"SeManageVolumePrivilege",
        L"SeProfileSingleProcessPrivilege",
        L"SeRemoteShutdownPrivilege",
        L"SeSecurityPrivilege",
        L"SeSyncAgentPrivilege",
        L"SeSystemEnvironmentPrivilege",
        L"SeSystemProfilePrivilege",
        L"SeTakeOwnershipPrivilege",
        L"SeTcbPrivilege",
        L"SeUndockPrivilege",
        L"SeUnsolicitedInputPrivilege",
    };
    win::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.out()))
        return false;
    // One request each: a privilege the account lacks must not keep the others off.
    for (const wchar_t* name : kPrivileges) {
        TOKEN_PRIVILEGES tp{};
        if (!LookupPrivilegeValueW(nullptr, name, &tp.Privileges[0].Luid)) continue;
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token.get(), FALSE, &tp, 0, nullptr, nullptr);
    }
    return true;
}

std::uint64_t PhysicalMemoryBytes() {
    MEMORYSTATUSEX ms{};
    ms.dwLength = sizeof ms;
    return GlobalMemoryStatusEx(&ms) ? ms.ullTotalPhys : 0;
}

} // namespace tvd
