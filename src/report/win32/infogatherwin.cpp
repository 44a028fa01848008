// The report's system facts on Windows: version, processor, SMBIOS, memory, user, the
// uninstall keys of both registry views, the IP Helper tables and the drive letters.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <shellapi.h>
#include <winnetwk.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "foundation/cpuidutil.h"
#include "foundation/dllbindutil.h"
#include "foundation/envutil.h"
#include "foundation/smbiosutil.h"
#include "foundation/textconvutil.h"
#include "foundation/win32/winhandle.h"
#include "report/infosavesystemutil.h"
#include "report/infosavevolumeutil.h"
#include "report/osnameutil.h"
#include "report/wmithreadutil.h"
#include "storage/cldevice.h"
#include "storage/storageplatform.h"

namespace tvd {

namespace {

std::string Narrow(const wchar_t* text) {
    return Utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
}

// Calls `query` with the size the system asks for, a few times (the table may grow between).
template <class Query> DWORD SizedQuery(std::vector<std::uint8_t>& buffer, Query query) {
    ULONG size = 16 * 1024;
    DWORD e = ERROR_INSUFFICIENT_BUFFER;
    for (int attempt = 0; attempt < 4; ++attempt) {
        buffer.assign(size, 0);
        ULONG asked = size;
        e = query(buffer.data(), &asked);
        if (e != ERROR_BUFFER_OVERFLOW && e != ERROR_INSUFFICIENT_BUFFER) break;
        if (asked <= size || asked > 16u * 1024 * 1024) return ERROR_INVALID_DATA;
        size = asked;
    }
    return e;
}

BoundModule& IpHelper() {
    static BoundModule module("iphlpapi.dll");
    return module;
}

BoundModule& Mpr() {
    static BoundModule module("mpr.dll");
    return module;
}

void ReadUninstall(REGSAM view, std::vector<AppEntry>& apps) {
    win::UniqueHKey root;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0,
                      KEY_READ | view, root.out()) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0; i < 100000; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        const LONG e =
            RegEnumKeyExW(root.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (e == ERROR_NO_MORE_ITEMS) break;
        if (e != ERROR_SUCCESS) continue;
        win::UniqueHKey sub;
        if (RegOpenKeyExW(root.get(), name, 0, KEY_READ | view, sub.out()) != ERROR_SUCCESS)
            continue;
        auto read = [&](const wchar_t* value) -> std::optional<std::string> {
            wchar_t text[1024] = {};
            DWORD bytes = sizeof text - sizeof(wchar_t); // room for a NUL the value may lack
            // RRF_RT_REG_SZ takes REG_EXPAND_SZ too, expanded; asking for REG_EXPAND_SZ without
            // RRF_NOEXPAND is refused as an invalid parameter, which left APPS empty.
            if (RegGetValueW(sub.get(), nullptr, value, RRF_RT_REG_SZ, nullptr, text, &bytes) !=
                ERROR_SUCCESS)
                return std::nullopt;
            return Narrow(text);
        };
        if (auto display = read(L"DisplayName"))
            apps.push_back({*display, read(L"DisplayVersion")});
    }
}

std::vector<NetAddress> Addresses(const IP_ADDR_STRING* a) {
    std::vector<NetAddress> list;
    for (int n = 0; a && n < 256; a = a->Next, ++n) {
        const std::string ip(a->IpAddress.String, strnlen(a->IpAddress.String, 16));
        const std::string mask(a->IpMask.String, strnlen(a->IpMask.String, 16));
        if (ip.empty() && mask.empty()) continue; // the empty entry Windows gives for none
        list.push_back({ip, mask, a->Context});
    }
    return list;
}

} // namespace

ComputerFacts GatherComputerFacts() {
    ComputerFacts f;
    const EnvRecord& env = DetectOs();
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExW(&info)) f.platformId = info.dwPlatformId;
#pragma GCC diagnostic pop
    f.major = env.major;
    f.minor = env.minor;
    f.build = env.build;
    f.productType = env.productType;
    f.productName = ProductName(env.productType);
    f.osName = OsDisplayName(env.osCode, env.arch, env.build);
    f.isServer = env.isServer;
    f.isWinPe = IsWinPe();
    f.admin = env.isAdmin;
    f.cpuVendor = CpuVendor();
    f.cpuBrand = CpuBrand();
    f.cpuBrand.erase(0, f.cpuBrand.find_first_not_of(' '));
    f.cpuBrand.erase(f.cpuBrand.find_last_not_of(' ') + 1);
    f.smbiosError = ReadSmbios(f.smbios);
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (GlobalMemoryStatusEx(&memory)) {
        f.memoryError = err::kSuccess;
        f.availableMiB = memory.ullAvailPhys >> 20;
        f.totalMiB = memory.ullTotalPhys >> 20;
    } else {
        f.memoryError = GetLastError();
    }
    f.uiLanguage = GetUserDefaultUILanguage();
    // Both lines are left out when WMI does not answer (no thread, no provider, no string).
    if (auto caption = WmiQueryString(u"ROOT\\CIMV2", u"Win32_OperatingSystem", u"Caption"))
        f.osCaption = Utf16ToUtf8(*caption);
    if (auto zone = WmiQueryString(u"ROOT\\CIMV2", u"Win32_TimeZone", u"Caption"))
        f.timeZone = Utf16ToUtf8(*zone);
    return f;
}

UserFacts GatherUserFacts() {
    UserFacts f;
    auto computerName = [](COMPUTER_NAME_FORMAT format, TextFact& fact) {
        char name[256] = {};
        DWORD size = sizeof name - 1;
        if (GetComputerNameExA(format, name, &size))
            fact.value = DeviceText(std::string(name, strnlen(name, sizeof name)));
        else
            fact.error = GetLastError();
    };
    computerName(ComputerNamePhysicalDnsHostname, f.dnsHostname);
    computerName(ComputerNamePhysicalNetBIOS, f.netBios);
    wchar_t user[257] = {};
    DWORD size = 257;
    if (GetUserNameW(user, &size))
        f.userName.value = Narrow(user);
    else
        f.userName.error = GetLastError();
    return f;
}

AppsFacts GatherAppsFacts() {
    AppsFacts f;
    f.supported = true;
    // Both views by name: a 64-bit program asking for the default view would list the 64-bit
    // view twice and never the 32-bit one.
    BOOL wow64 = FALSE;
    const bool native64 =
        sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
    ReadUninstall(native64 ? KEY_WOW64_32KEY : 0, f.apps);
    if (native64) ReadUninstall(KEY_WOW64_64KEY, f.apps);
    return f;
}

NetFacts GatherNetFacts() {
    NetFacts f;
    using GetInterfaceInfoFn = DWORD(WINAPI*)(PIP_INTERFACE_INFO, PULONG);
    using GetAdaptersInfoFn = DWORD(WINAPI*)(PIP_ADAPTER_INFO, PULONG);
    auto getInterfaces = IpHelper().Fn<GetInterfaceInfoFn>("GetInterfaceInfo");
    auto getAdapters = IpHelper().Fn<GetAdaptersInfoFn>("GetAdaptersInfo");
    std::vector<std::uint8_t> buffer;
    if (!getInterfaces) {
        f.interfacesError = ERROR_PROC_NOT_FOUND;
    } else if (DWORD e = SizedQuery(buffer, [&](std::uint8_t* p, ULONG* size) {
                   return getInterfaces(reinterpret_cast<PIP_INTERFACE_INFO>(p), size);
               })) {
        f.interfacesError = e;
    } else {
        const auto* table = reinterpret_cast<const IP_INTERFACE_INFO*>(buffer.data());
        const std::size_t room =
            (buffer.size() - offsetof(IP_INTERFACE_INFO, Adapter)) / sizeof(IP_ADAPTER_INDEX_MAP);
        const std::size_t count =
            std::min<std::size_t>(std::max<LONG>(table->NumAdapters, 0), room);
        for (std::size_t i = 0; i < count; ++i) {
            const IP_ADAPTER_INDEX_MAP& m = table->Adapter[i];
            f.interfaces.emplace_back(m.Index, Narrow(m.Name));
        }
    }
    if (!getAdapters) {
        f.adaptersError = ERROR_PROC_NOT_FOUND;
        return f;
    }
    const DWORD e = SizedQuery(buffer, [&](std::uint8_t* p, ULONG* size) {
        return getAdapters(reinterpret_cast<PIP_ADAPTER_INFO>(p), size);
    });
    if (e == ERROR_NO_DATA) return f;
    if (e) {
        f.adaptersError = e;
        return f;
    }
    int n = 0;
    for (auto* a = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data()); a && n < 1024;
         a = a->Next, ++n) {
        NetAdapter x;
        x.comboIndex = a->ComboIndex;
        x.index = a->Index;
        x.name =
            DeviceText(std::string(a->AdapterName, strnlen(a->AdapterName, sizeof a->AdapterName)));
        x.description =
            DeviceText(std::string(a->Description, strnlen(a->Description, sizeof a->Description)));
        x.mac.assign(a->Address, a->Address + std::min<UINT>(a->AddressLength, 8));
        x.type = a->Type;
        x.dhcp = a->DhcpEnabled != 0;
        if (a->CurrentIpAddress) x.current = Addresses(a->CurrentIpAddress);
        x.addresses = Addresses(&a->IpAddressList);
        x.gateways = Addresses(&a->GatewayList);
        x.dhcpServers = Addresses(&a->DhcpServer);
        x.haveWins = a->HaveWins != 0;
        f.adapters.push_back(std::move(x));
    }
    return f;
}

namespace {

// The volume information block of a root path ("X:\\" or a mounted folder).
void FillVolumeInfo(const std::wstring& root, VolumeInfoFacts& v) {
    v.driveType = GetDriveTypeW(root.c_str());
    wchar_t label[MAX_PATH + 1] = {}, fs[MAX_PATH + 1] = {};
    DWORD serial = 0;
    if (GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, &serial, nullptr, nullptr, fs,
                              MAX_PATH + 1)) {
        v.label = Narrow(label);
        v.fileSystem = Narrow(fs);
        v.serial = serial;
    } else {
        v.infoError = GetLastError();
    }
    wchar_t volumeName[64] = {};
    if (GetVolumeNameForVolumeMountPointW(root.c_str(), volumeName, 64)) {
        v.volumeNameError = err::kSuccess;
        v.volumeName = Narrow(volumeName);
    } else {
        v.volumeNameError = GetLastError() ? GetLastError() : err::kFileNotFound;
    }
    ULARGE_INTEGER avail{}, total{}, freeBytes{};
    if (GetDiskFreeSpaceExW(root.c_str(), &avail, &total, &freeBytes)) {
        v.totalBytes = total.QuadPart;
        v.freeBytes = freeBytes.QuadPart;
    } else {
        v.spaceError = GetLastError();
    }
}

} // namespace

std::vector<std::string> ReportVolumeRoots(clVolume* volume) {
    if (!volume) return {};
    if (std::string(Storage().Name()) != "win32" || volume->Path().empty())
        return volume->MountPoints();
    // The interface path names the volume; its GUID name leads to where it is mounted.
    std::u16string path = u"\\\\?\\" + Utf8ToUtf16(volume->Path());
    if (path.back() != u'\\') path += u'\\';
    wchar_t guidName[64] = {};
    if (!GetVolumeNameForVolumeMountPointW(reinterpret_cast<const wchar_t*>(path.c_str()), guidName,
                                           64))
        return {};
    std::vector<wchar_t> names(1024, L'\0');
    DWORD length = 0;
    if (!GetVolumePathNamesForVolumeNameW(guidName, names.data(), static_cast<DWORD>(names.size()),
                                          &length)) {
        if (GetLastError() != ERROR_MORE_DATA || length == 0 || length > 65536) return {};
        names.assign(length, L'\0');
        if (!GetVolumePathNamesForVolumeNameW(guidName, names.data(),
                                              static_cast<DWORD>(names.size()), &length))
            return {};
    }
    // A double-NUL list, read only within what came back.
    std::vector<std::string> roots;
    const std::size_t end = std::min<std::size_t>(length, names.size());
    for (std::size_t at = 0; at < end && names[at] != L'\0' && roots.size() < 64;) {
        const std::size_t stop =
            std::find(names.begin() + at, names.begin() + end, L'\0') - names.begin();
        roots.push_back(Utf16ToUtf8(
            std::u16string(reinterpret_cast<const char16_t*>(names.data() + at), stop - at)));
        at = stop + 1;
    }
    return roots;
}

VolumeInfoFacts GatherVolumeInfo(const std::string& root) {
    VolumeInfoFacts v;
    v.name = root;
    FillVolumeInfo(reinterpret_cast<const wchar_t*>(Utf8ToUtf16(root).c_str()), v);
    return v;
}

std::vector<VolumeInfoFacts> GatherDriveFacts() {
    std::vector<VolumeInfoFacts> drives;
    using WNetGetConnectionFn = DWORD(WINAPI*)(LPCWSTR, LPWSTR, LPDWORD);
    const DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (1u << i))) continue;
        const wchar_t root[4] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
        VolumeInfoFacts v;
        v.driveType = GetDriveTypeW(root);
        if (v.driveType == DRIVE_NO_ROOT_DIR) continue;
        SHFILEINFOW shell{};
        v.name = SHGetFileInfoW(root, 0, &shell, sizeof shell, SHGFI_DISPLAYNAME) &&
                         shell.szDisplayName[0]
                     ? Narrow(shell.szDisplayName)
                     : Narrow(root);
        FillVolumeInfo(root, v);
        if (v.driveType == DRIVE_REMOTE) {
            const wchar_t local[3] = {root[0], L':', 0};
            wchar_t remote[1024] = {};
            DWORD length = 1024;
            auto get = Mpr().Fn<WNetGetConnectionFn>("WNetGetConnectionW");
            if (get && get(local, remote, &length) == NO_ERROR)
                v.connectionName = Narrow(remote);
            else
                v.connectionName = std::string();
        }
        drives.push_back(std::move(v));
    }
    return drives;
}

} // namespace tvd
