// Device enumeration, device-node properties, notifications and the controller's PCI link of
// the Windows back end (SetupDi and the configuration manager).
#include <windows.h>

#include <cfgmgr32.h>
#include <dbt.h>
#include <devpropdef.h>
#include <setupapi.h>

#include <algorithm>
#include <new>

#include "foundation/textconvutil.h"
#include "foundation/win32/windevinfoset.h"
#include "storage/win32/winstorage.h"
#include "storage/win32/winstoragerequests.h"

namespace tvd {

namespace {

// No class here holds more devices than this; the walk ends even if the end is never reported.
constexpr DWORD kMaxDevices = 65536;
// Registry texts and interface paths longer than this are refused.
constexpr DWORD kMaxTextBytes = 64 * 1024;
// Device trees are shallow; the walk to a controller stops here.
constexpr int kMaxDepth = 64;

// The PCI device property set; its link numbers are DEVPKEY_PciDevice_* 9 to 12.
constexpr GUID kPciDeviceProperties = {
    0x3AB22E31, 0x8264, 0x4B4E, {0x9A, 0xF5, 0xA8, 0xD2, 0xD8, 0xE3, 0x3E, 0x62}};
constexpr DEVPROPID kMaxLinkSpeed = 11, kMaxLinkWidth = 12, kCurrentLinkSpeed = 9,
                    kCurrentLinkWidth = 10;

template <class F> ErrorCode Guarded(F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return err::kNoSystemResources;
    }
}

ErrorCode FromConfigRet(CONFIGRET cr) {
    switch (cr) {
    case CR_SUCCESS:
        return err::kSuccess;
    case CR_OUT_OF_MEMORY:
        return err::kNoSystemResources;
    case CR_INVALID_POINTER:
    case CR_INVALID_FLAG:
    case CR_INVALID_PROPERTY:
        return err::kInvalidParameter;
    case CR_BUFFER_SMALL:
        return err::kInsufficientBuffer;
    case CR_NO_SUCH_VALUE:
        return ERROR_NOT_FOUND;
    case CR_INVALID_DEVNODE:
    case CR_NO_SUCH_DEVNODE:
    default:
        return err::kFileNotFound;
    }
}

bool IsStarted(DEVINST devInst) {
    ULONG status = 0, problem = 0;
    return CM_Get_DevNode_Status(&status, &problem, devInst, 0) == CR_SUCCESS &&
           (status & DN_STARTED) != 0;
}

// A string property of a device node's registry key, up to its first NUL.
ErrorCode RegistryText(DEVINST devInst, ULONG property, std::u16string& text) {
    if (devInst == 0) return err::kInvalidParameter;
    ULONG type = 0, bytes = 0;
    CONFIGRET cr = CM_Get_DevNode_Registry_PropertyW(devInst, property, &type, nullptr, &bytes, 0);
    if (cr != CR_BUFFER_SMALL) return cr == CR_SUCCESS ? err::kInvalidData : FromConfigRet(cr);
    if (bytes == 0 || bytes > kMaxTextBytes) return err::kInvalidData;
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    ULONG got = static_cast<ULONG>((buffer.size() - 1) * sizeof(wchar_t));
    cr = CM_Get_DevNode_Registry_PropertyW(devInst, property, &type, buffer.data(), &got, 0);
    if (cr != CR_SUCCESS) return FromConfigRet(cr);
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return err::kInvalidData;
    const std::size_t limit = std::min<std::size_t>(got / sizeof(wchar_t), buffer.size() - 1);
    const auto end = std::find(buffer.begin(), buffer.begin() + limit, L'\0');
    text = win::U16(buffer.data(), static_cast<std::size_t>(end - buffer.begin()));
    return err::kSuccess;
}

// The device's own interface of the class (index 0 among the interfaces of this device); false
// when it has none or its detail cannot be read.
bool OwnInterfacePath(HDEVINFO set, SP_DEVINFO_DATA& device, const GUID& cls, std::string& path) {
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    if (!SetupDiEnumDeviceInterfaces(set, &device, &cls, 0, &iface)) return false;
    DWORD need = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &need, nullptr);
    if (need < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) || need > kMaxTextBytes) return false;
    // DWORD elements keep the detail's cbSize aligned.
    std::vector<DWORD> buffer((need + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, need, nullptr, nullptr))
        return false;
    const std::size_t chars =
        (need - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
    const wchar_t* text = detail->DevicePath;
    const std::size_t length = std::find(text, text + chars, L'\0') - text;
    if (length == 0) return false;
    path = Utf16ToUtf8(win::U16(text, length));
    return true;
}

ErrorCode FirstByteOf(HDEVINFO set, SP_DEVINFO_DATA& device, DEVPROPID id, std::uint8_t& out) {
    const DEVPROPKEY key{kPciDeviceProperties, id};
    DEVPROPTYPE type = 0;
    BYTE value[16] = {};
    DWORD need = 0;
    if (!SetupDiGetDevicePropertyW(set, &device, &key, &type, value, sizeof value, &need, 0))
        return win::LastErrorOrNotFound();
    if (need == 0) return err::kInvalidData;
    out = value[0];
    return err::kSuccess;
}

bool IsScsiAdapter(DEVINST devInst) {
    std::u16string guid;
    if (Guarded([&] { return RegistryText(devInst, CM_DRP_CLASSGUID, guid); }) != err::kSuccess)
        return false;
    static constexpr char16_t kClass[] = u"{4D36E97B-E325-11CE-BFC1-08002BE10318}";
    if (guid.size() != std::size(kClass) - 1) return false;
    for (std::size_t i = 0; i < guid.size(); ++i) {
        char16_t c = guid[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        if (c != kClass[i]) return false;
    }
    return true;
}

} // namespace

bool win::ClassGuid(DeviceClass cls, GUID& guid) {
    switch (cls) {
    case DeviceClass::kDiskInterface:
        guid = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
        return true;
    case DeviceClass::kVolumeInterface:
        guid = {0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
        return true;
    case DeviceClass::kUsbHostControllerIface:
        guid = {0x3ABF6F2D, 0x71C4, 0x462A, {0x8A, 0x92, 0x1E, 0x68, 0x61, 0xE6, 0xAF, 0x27}};
        return true;
    case DeviceClass::kUsbHubInterface:
        guid = {0xF18A0E88, 0xC30C, 0x11D0, {0x88, 0x15, 0x00, 0xA0, 0xC9, 0x06, 0xBE, 0xD8}};
        return true;
    case DeviceClass::kUsbDeviceInterface:
        guid = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
        return true;
    case DeviceClass::kUsbSetupClass:
        guid = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
        return true;
    }
    return false;
}

ErrorCode WinStoragePlatform::EnumerateClass(DeviceClass cls, std::vector<PresentDevice>& devices) {
    GUID guid;
    if (!win::ClassGuid(cls, guid)) return err::kInvalidParameter;
    // The setup class lists devices, not interfaces; present ones only in both cases, since the
    // lists hold what is plugged in.
    const bool interfaces = cls != DeviceClass::kUsbSetupClass;
    const DWORD flags = DIGCF_PRESENT | (interfaces ? DIGCF_DEVICEINTERFACE : 0);
    const win::DevInfoSet set(SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags));
    if (!set.valid()) return win::LastErrorOrNotFound();
    return Guarded([&] {
        std::vector<PresentDevice> found;
        for (DWORD i = 0; i < kMaxDevices; ++i) {
            SP_DEVINFO_DATA device{};
            device.cbSize = sizeof device;
            if (!SetupDiEnumDeviceInfo(set.get(), i, &device)) {
                if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
                continue;
            }
            PresentDevice present;
            present.devInst = device.DevInst;
            present.started = IsStarted(device.DevInst);
            present.hasInterface =
                interfaces && OwnInterfacePath(set.get(), device, guid, present.interfacePath);
            if (!present.hasInterface) present.interfacePath.clear();
            found.push_back(std::move(present));
        }
        devices = std::move(found);
        return err::kSuccess;
    });
}

std::uint32_t WinStoragePlatform::ParentOf(std::uint32_t devInst) {
    DEVINST parent = 0;
    if (devInst == 0 || CM_Get_Parent(&parent, devInst, 0) != CR_SUCCESS) return 0;
    return parent;
}

ErrorCode WinStoragePlatform::GetProperty(std::uint32_t devInst, DeviceProperty prop,
                                          std::string& value) {
    ULONG property = 0;
    switch (prop) {
    case DeviceProperty::kFriendlyName:
        property = CM_DRP_FRIENDLYNAME;
        break;
    case DeviceProperty::kDeviceDesc:
        property = CM_DRP_DEVICEDESC;
        break;
    case DeviceProperty::kDriver:
        property = CM_DRP_DRIVER;
        break;
    default:
        return err::kInvalidParameter;
    }
    return Guarded([&] {
        std::u16string text;
        const ErrorCode e = RegistryText(devInst, property, text);
        if (e == err::kSuccess) value = Utf16ToUtf8(text);
        return e;
    });
}

ErrorCode WinStoragePlatform::RegisterNotifications(void* window, DeviceClass cls, void*& token) {
    token = nullptr;
    GUID guid;
    if (!window || !win::ClassGuid(cls, guid)) return err::kInvalidParameter;
    // The setup class has no interfaces, so its filter never fires; its devices' changes reach
    // every top-level window as DBT_DEVNODES_CHANGED anyway. It is registered like the others
    // so that the USB list keeps one registration per class.
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = guid;
    const HDEVNOTIFY n = RegisterDeviceNotificationW(static_cast<HANDLE>(window), &filter,
                                                     DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!n) return win::LastErrorOrNotFound();
    token = n;
    return err::kSuccess;
}

void WinStoragePlatform::UnregisterNotifications(void* token) {
    if (token) UnregisterDeviceNotification(static_cast<HDEVNOTIFY>(token));
}

ErrorCode WinStoragePlatform::GetPciLink(std::uint32_t controllerDevInst, PciLinkInfo& out) {
    if (controllerDevInst == 0) return err::kInvalidParameter;
    const win::DevInfoSet set(
        SetupDiGetClassDevsW(&win::kScsiAdapterClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!set.valid()) return win::LastErrorOrNotFound();
    for (DWORD i = 0; i < kMaxDevices; ++i) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set.get(), i, &device)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
            continue;
        }
        if (device.DevInst != controllerDevInst || !IsStarted(device.DevInst)) continue;
        PciLinkInfo link;
        ErrorCode e = FirstByteOf(set.get(), device, kMaxLinkSpeed, link.maxSpeed);
        if (e == err::kSuccess) e = FirstByteOf(set.get(), device, kMaxLinkWidth, link.maxWidth);
        if (e == err::kSuccess)
            e = FirstByteOf(set.get(), device, kCurrentLinkSpeed, link.currentSpeed);
        if (e == err::kSuccess)
            e = FirstByteOf(set.get(), device, kCurrentLinkWidth, link.currentWidth);
        if (e == err::kSuccess) out = link;
        return e;
    }
    return err::kFileNotFound;
}

std::uint32_t WinStoragePlatform::ControllerOf(std::uint32_t diskDevInst) {
    // The first ancestor in the storage-controller setup class: the node whose PCI link
    // GetPciLink reads. Disks behind controllers of other classes have none.
    std::uint32_t node = diskDevInst;
    for (int depth = 0; node != 0 && depth < kMaxDepth; ++depth) {
        node = ParentOf(node);
        if (node != 0 && IsScsiAdapter(node)) return node;
    }
    return 0;
}

} // namespace tvd
