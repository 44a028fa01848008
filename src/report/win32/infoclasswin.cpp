// Device classes on Windows: SetupDi for the class's devices, the configuration manager for each
// node's status, texts, parent chain and filters, the class key for the class's own filters; the
// monitor devices with the EDID their device key holds, and the display areas of the window
// system.
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "foundation/textconvutil.h"
#include "foundation/win32/windevinfoset.h"
#include "foundation/win32/winhandle.h"
#include "report/edidutil.h"
#include "report/infosavemonitorutil.h"
#include "report/infosaveusbutil.h"
#include "storage/storageplatform.h"

namespace tvd {

namespace {

constexpr GUID kMonitorClass = {
    0x4D36E96E, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID kHdcClass = {
    0x4D36E96A, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID kScsiAdapterClass = {
    0x4D36E97B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID kUsbClass = {
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr GUID kDiskDriveClass = {
    0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID kVolumeClass = {
    0x71A27CDD, 0x812A, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};

constexpr DWORD kMaxDevices = 65536;
constexpr ULONG kMaxPropertyBytes = 64 * 1024;
constexpr int kMaxDepth = 64;

const GUID& ClassGuid(ReportDeviceClass cls) {
    switch (cls) {
    case ReportDeviceClass::kMonitor:
        return kMonitorClass;
    case ReportDeviceClass::kAtaController:
        return kHdcClass;
    case ReportDeviceClass::kScsiController:
        return kScsiAdapterClass;
    case ReportDeviceClass::kUsb:
        return kUsbClass;
    case ReportDeviceClass::kDisk:
        return kDiskDriveClass;
    case ReportDeviceClass::kVolume:
        break;
    }
    return kVolumeClass;
}

ErrorCode LastError() {
    const DWORD e = GetLastError();
    return e ? static_cast<ErrorCode>(e) : err::kFileNotFound;
}

// A device's registry property in the size the system asks for (a few tries: it may grow).
// SetupDi answers where the device came from a set (Wine implements only this form); the
// configuration manager answers for a bare node. SPDRP_x is CM_DRP_x - 1.
struct DeviceRef {
    HDEVINFO set = nullptr;
    SP_DEVINFO_DATA* device = nullptr;
    DEVINST devInst = 0;
};

bool NodeProperty(const DeviceRef& d, ULONG property, std::vector<std::uint8_t>& bytes,
                  ULONG& type) {
    ULONG size = 512;
    for (int attempt = 0; attempt < 4; ++attempt) {
        bytes.assign(size, 0);
        ULONG got = size;
        bool more = false;
        if (d.set && d.device) {
            DWORD need = 0, kind = 0;
            if (SetupDiGetDeviceRegistryPropertyW(d.set, d.device, property - 1, &kind,
                                                  bytes.data(), size, &need)) {
                type = kind;
                bytes.resize(std::min<ULONG>(need, size));
                return true;
            }
            more = GetLastError() == ERROR_INSUFFICIENT_BUFFER;
            got = need;
        } else {
            const CONFIGRET cr = CM_Get_DevNode_Registry_PropertyW(d.devInst, property, &type,
                                                                   bytes.data(), &got, 0);
            if (cr == CR_SUCCESS) {
                bytes.resize(std::min(got, size));
                return true;
            }
            more = cr == CR_BUFFER_SMALL;
        }
        if (!more || got <= size || got > kMaxPropertyBytes) return false;
        size = got;
    }
    return false;
}

// UTF-16 units of a returned buffer up to the first NUL or its end.
std::u16string Units(const std::vector<std::uint8_t>& bytes, std::size_t from = 0) {
    std::u16string text;
    for (std::size_t i = from; i + 1 < bytes.size(); i += 2) {
        const char16_t u = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (u == 0) break;
        text += u;
    }
    return text;
}

std::optional<std::string> NodeText(const DeviceRef& d, ULONG property) {
    std::vector<std::uint8_t> bytes;
    ULONG type = 0;
    if (!NodeProperty(d, property, bytes, type) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    return Utf16ToUtf8(Units(bytes));
}

// A node's filter list; empty when the node has none.
std::vector<std::string> NodeFilters(const DeviceRef& d, ULONG property) {
    std::vector<std::string> list;
    std::vector<std::uint8_t> bytes;
    ULONG type = 0;
    if (!NodeProperty(d, property, bytes, type) || type != REG_MULTI_SZ) return list;
    for (std::size_t at = 0; at + 1 < bytes.size() && list.size() < 256;) {
        const std::u16string s = Units(bytes, at);
        if (s.empty()) break;
        list.push_back(Utf16ToUtf8(s));
        at += (s.size() + 1) * 2;
    }
    return list;
}

std::optional<std::string> InstanceId(DEVINST devInst) {
    ULONG length = 0;
    if (CM_Get_Device_ID_Size(&length, devInst, 0) != CR_SUCCESS || length == 0 || length > 4096)
        return std::nullopt;
    std::vector<wchar_t> id(length + 1, L'\0');
    if (CM_Get_Device_IDW(devInst, id.data(), length + 1, 0) != CR_SUCCESS) return std::nullopt;
    return Utf16ToUtf8(reinterpret_cast<const char16_t*>(id.data()));
}

NodeFacts WinNode(const DeviceRef& d) {
    const DEVINST devInst = d.devInst;
    NodeFacts n;
    n.devInst = devInst;
    n.friendlyName = NodeText(d, CM_DRP_FRIENDLYNAME);
    n.description = NodeText(d, CM_DRP_DEVICEDESC);
    n.instanceId = InstanceId(devInst);
    n.driver = NodeText(d, CM_DRP_DRIVER);
    DEVINST node = devInst, parent = 0;
    for (int depth = 0; depth < kMaxDepth && CM_Get_Parent(&parent, node, 0) == CR_SUCCESS;
         ++depth) {
        n.parents.push_back(parent);
        node = parent;
    }
    n.upperFilters = NodeFilters(d, CM_DRP_UPPERFILTERS);
    n.lowerFilters = NodeFilters(d, CM_DRP_LOWERFILTERS);
    return n;
}

bool IsStarted(DEVINST devInst) {
    ULONG status = 0, problem = 0;
    return CM_Get_DevNode_Status(&status, &problem, devInst, 0) == CR_SUCCESS &&
           (status & DN_STARTED) != 0;
}

// A REG_MULTI_SZ of the class key, in the size the registry asks for.
ClassFilterFacts ClassFilter(HKEY key, const wchar_t* name) {
    ClassFilterFacts f;
    DWORD size = 512;
    for (int attempt = 0; attempt < 4; ++attempt) {
        f.multiSz.assign(size, 0);
        DWORD type = 0, got = size;
        const LONG e = RegQueryValueExW(key, name, nullptr, &type, f.multiSz.data(), &got);
        if (e == ERROR_SUCCESS) {
            f.multiSz.resize(std::min(got, size));
            f.error = type == REG_MULTI_SZ ? err::kSuccess : err::kInvalidData;
            return f;
        }
        if (e != ERROR_MORE_DATA || got <= size || got > kMaxPropertyBytes) {
            f.error = static_cast<ErrorCode>(e);
            f.multiSz.clear();
            return f;
        }
        size = got;
    }
    f.error = ERROR_MORE_DATA;
    f.multiSz.clear();
    return f;
}

// The class's devices; `all` also takes those that are not started (monitor devices).
template <class Each> ErrorCode ForEachDevice(const GUID& guid, DWORD flags, Each each) {
    win::DevInfoSet set(SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags));
    if (!set.valid()) return LastError();
    for (DWORD i = 0; i < kMaxDevices; ++i) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set.get(), i, &device)) break;
        each(set.get(), device);
    }
    return err::kSuccess;
}

std::vector<std::uint8_t> DeviceEdid(HDEVINFO set, SP_DEVINFO_DATA& device, ErrorCode& error) {
    std::vector<std::uint8_t> edid;
    win::UniqueHKey key(
        SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
    if (!key.valid()) {
        error = err::kFileNotFound;
        return edid;
    }
    edid.assign(kEdidMaxSize, 0);
    DWORD type = 0, got = static_cast<DWORD>(edid.size());
    const LONG e = RegQueryValueExW(key.get(), L"EDID", nullptr, &type, edid.data(), &got);
    if (e != ERROR_SUCCESS || type != REG_BINARY) {
        error = e == ERROR_SUCCESS ? err::kInvalidData : static_cast<ErrorCode>(e);
        edid.clear();
        return edid;
    }
    edid.resize(std::min<std::size_t>(got, edid.size()));
    error = err::kSuccess;
    return edid;
}

DisplayRect Rect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

BOOL CALLBACK OneMonitor(HMONITOR monitor, HDC, LPRECT area, LPARAM context) {
    auto* displays = reinterpret_cast<std::vector<DisplayAreaFacts>*>(context);
    if (displays->size() >= 256) return FALSE;
    DisplayAreaFacts d;
    if (area) d.monitor = Rect(*area);
    MONITORINFOEXA info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(monitor, &info)) {
        d.infoOk = true;
        d.device.assign(info.szDevice, strnlen(info.szDevice, sizeof info.szDevice));
        d.monitor = Rect(info.rcMonitor);
        d.work = Rect(info.rcWork);
    }
    displays->push_back(std::move(d));
    return TRUE;
}

} // namespace

DeviceClassFacts GatherDeviceClass(ReportDeviceClass cls) {
    DeviceClassFacts f;
    const GUID& guid = ClassGuid(cls);
    // Disks and volumes served by the simulation are listed from the device layer instead.
    const bool devices = (cls != ReportDeviceClass::kDisk && cls != ReportDeviceClass::kVolume) ||
                         std::string(Storage().Name()) == "win32";
    if (devices) {
        try {
            f.enumError =
                ForEachDevice(guid, cls == ReportDeviceClass::kUsb ? 0 : DIGCF_PRESENT,
                              [&](HDEVINFO set, SP_DEVINFO_DATA& device) {
                                  if (IsStarted(device.DevInst))
                                      f.devices.push_back(WinNode({set, &device, device.DevInst}));
                              });
        } catch (const std::bad_alloc&) {
            f.enumError = err::kNoSystemResources;
        }
    }
    win::UniqueHKey key(SetupDiOpenClassRegKey(&guid, KEY_READ));
    if (!key.valid()) {
        f.classKeyError = LastError();
        return f;
    }
    f.upper = ClassFilter(key.get(), L"UpperFilters");
    f.lower = ClassFilter(key.get(), L"LowerFilters");
    return f;
}

MonitorSectionFacts GatherMonitorFacts() {
    MonitorSectionFacts f;
    f.cls = GatherDeviceClass(ReportDeviceClass::kMonitor);
    try {
        const ErrorCode e =
            ForEachDevice(kMonitorClass, DIGCF_PRESENT, [&](HDEVINFO set, SP_DEVINFO_DATA& device) {
                MonitorDeviceFacts m;
                m.node = WinNode({set, &device, device.DevInst});
                m.edid = DeviceEdid(set, device, m.edidError);
                f.monitors.push_back(std::move(m));
            });
        f.listOk = e == err::kSuccess;
    } catch (const std::bad_alloc&) {
        f.listOk = false;
    }
    f.count = GetSystemMetrics(SM_CMONITORS);
    EnumDisplayMonitors(nullptr, nullptr, OneMonitor, reinterpret_cast<LPARAM>(&f.displays));
    RECT work{};
    if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
        f.workArea = Rect(work);
    else
        f.workAreaError = LastError();
    return f;
}

std::optional<std::string> ReportInstanceId(std::uint32_t devInst) {
    if (std::string(Storage().Name()) != "win32" || devInst == 0) return std::nullopt;
    return InstanceId(devInst);
}

} // namespace tvd
