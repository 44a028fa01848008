#include "storage/cldevicelist.h"
#include "storage/devicehandleutil.h"

#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace tvd {

namespace {

clDevice* AsDevice(clZoltObject* obj) {
    return static_cast<clDevice*>(obj);
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows paths are case-insensitive and the registry keeps them upper-cased; other platforms'
// device paths (/dev/sda) are case-sensitive and stay as the back end names them.
bool BackEndUpperCasesPaths() {
    return std::strcmp(Storage().Name(), "win32") == 0;
}

} // namespace

clDeviceList::~clDeviceList() {
    StopNotifications();
}

ErrorCode clDeviceList::Enumerate(void* window) {
    const ErrorCode e = Refresh();
    // Registered once; a back end that refused (no window yet) is asked again next time.
    if (tokens_.empty()) {
        for (DeviceClass cls : NotificationClasses()) {
            void* token = nullptr;
            if (Storage().RegisterNotifications(window, cls, token) == err::kSuccess && token)
                tokens_.push_back(token);
        }
    }
    return e;
}

void clDeviceList::StopNotifications() {
    for (void* token : tokens_)
        Storage().UnregisterNotifications(token);
    tokens_.clear();
}

bool clDeviceList::AppendDevice(std::unique_ptr<clDevice> device) {
    if (!device || device->Type() != type_) return false;
    device->SetState(devstate::kNew);
    if (!AppendOwned(device.get())) return false;
    device.release();
    return true;
}

clDevice* clDeviceList::FirstDevice() const {
    for (clZoltObject* o = First(); o; o = o->Next())
        if (!AsDevice(o)->IsRemoved()) return AsDevice(o);
    return nullptr;
}

clDevice* clDeviceList::NextDevice(const clDevice* device) const {
    if (device == nullptr || device->Owner() != this) return nullptr;
    for (clZoltObject* o = device->Next(); o; o = o->Next())
        if (!AsDevice(o)->IsRemoved()) return AsDevice(o);
    return nullptr;
}

clDevice* clDeviceList::FindByDevInst(std::uint32_t devInst) const {
    for (clDevice* d = FirstDevice(); d; d = NextDevice(d))
        if (d->DevInst() == devInst) return d;
    return nullptr;
}

clDevice* clDeviceList::HolderOfDevInst(std::uint32_t devInst) const {
    clDevice* holder = nullptr;
    for (clZoltObject* o = First(); o; o = o->Next()) {
        if (AsDevice(o)->DevInst() != devInst) continue;
        if (!AsDevice(o)->IsRemoved()) return AsDevice(o);
        holder = AsDevice(o);
    }
    return holder;
}

clDevice* clDeviceList::FindByPath(std::string_view path) const {
    path = StripDevicePrefix(path);
    if (path.empty()) return nullptr;
    for (clDevice* d = FirstDevice(); d; d = NextDevice(d))
        if (PathEqualsNoCase(d->Path(), path)) return d;
    return nullptr;
}

clDrive* clDeviceList::FindByLetter(char letter) const {
    if (type_ != devtype::kDrive) return nullptr;
    letter = AsciiUpper(letter);
    for (clDevice* d = FirstDevice(); d; d = NextDevice(d))
        if (static_cast<clDrive*>(d)->Letter() == letter) return static_cast<clDrive*>(d);
    return nullptr;
}

clDisk* clDeviceList::FindByDeviceNumber(std::int64_t number) const {
    if (type_ != devtype::kDisk || number < 0) return nullptr;
    for (clDevice* d = FirstDevice(); d; d = NextDevice(d))
        if (d->GetDeviceNumber() == number) return static_cast<clDisk*>(d);
    return nullptr;
}

clDrive* clDeviceList::HolderOfLetter(char letter) const {
    if (type_ != devtype::kDrive) return nullptr;
    if (clDrive* present = FindByLetter(letter)) return present;
    letter = AsciiUpper(letter);
    for (clZoltObject* o = First(); o; o = o->Next())
        if (static_cast<clDrive*>(o)->Letter() == letter) return static_cast<clDrive*>(o);
    return nullptr;
}

bool clDeviceList::HasRemoved() const {
    for (clZoltObject* o = First(); o; o = o->Next())
        if (AsDevice(o)->IsRemoved()) return true;
    return false;
}

ErrorCode
clDeviceList::EnumerateInterfaces(DeviceClass cls,
                                  const std::function<std::unique_ptr<clDevice>()>& make) {
    std::vector<PresentDevice> devices;
    const ErrorCode e = Storage().EnumerateClass(cls, devices);
    if (e != err::kSuccess) return e;
    const bool upperCase = BackEndUpperCasesPaths();
    // The list indexed once, so that a pass stays linear in the number of devices: the holder of
    // each key (a present device before a removed one, as HolderOfDevInst chooses) and the
    // present paths, compared ignoring case.
    std::unordered_map<std::uint32_t, clDevice*> holders;
    std::unordered_set<std::string> paths;
    const auto pathKey = [](std::string_view path) {
        std::string key(path);
        for (char& c : key)
            c = AsciiUpper(c);
        return key;
    };
    for (clZoltObject* o = First(); o; o = o->Next()) {
        clDevice* d = AsDevice(o);
        clDevice*& holder = holders[d->DevInst()];
        if (!holder || (holder->IsRemoved() && !d->IsRemoved())) holder = d;
        if (!d->IsRemoved() && !d->Path().empty()) paths.insert(pathKey(d->Path()));
    }
    for (const PresentDevice& present : devices) {
        if (!present.started) continue;
        if (const auto found = holders.find(present.devInst); found != holders.end()) {
            if (found->second->IsRemoved()) deferred_ = true;
            continue;
        }
        // Only the device's own interface names it: a device without one gets no path, and a
        // second interface of the same device was skipped above by its key.
        std::string path;
        if (present.hasInterface) {
            path = std::string(StripDevicePrefix(present.interfacePath));
            if (upperCase)
                for (char& c : path)
                    c = AsciiUpper(c);
            if (!path.empty()) {
                DeviceHandle h;
                const ErrorCode open = OpenDevice(path, h);
                if (open != err::kSuccess && open != err::kAccessDenied) path.clear();
            }
            if (!path.empty() && paths.count(pathKey(path))) continue;
        }
        std::unique_ptr<clDevice> device = make();
        if (!device) return err::kNoSystemResources;
        device->SetDevInst(present.devInst);
        if (!path.empty()) paths.insert(pathKey(path));
        device->SetPath(std::move(path));
        clDevice* added = device.get();
        if (AppendDevice(std::move(device))) holders.emplace(present.devInst, added);
    }
    return err::kSuccess;
}

void DeleteDevice(clDevice* device) noexcept {
    if (device == nullptr) return;
    if (clZoltObjectList* owner = device->Owner()) owner->Remove(device);
    delete device;
}

// ---- concrete lists

ErrorCode clNtDiskList::Refresh() {
    deferred_ = false;
    return EnumerateInterfaces(DeviceClass::kDiskInterface,
                               [] { return std::unique_ptr<clDevice>(new clNtDisk()); });
}

ErrorCode clNtDriveList::Refresh() {
    deferred_ = false;
    const std::uint32_t mask = Storage().LogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if ((mask & (1u << i)) == 0) continue;
        const char letter = static_cast<char>('A' + i);
        if (clDrive* holder = HolderOfLetter(letter)) {
            if (holder->IsRemoved()) deferred_ = true;
            continue;
        }
        AppendDevice(std::make_unique<clWinDrive>(letter));
    }
    return err::kSuccess;
}

ErrorCode clWinVolumeList::Refresh() {
    deferred_ = false;
    return EnumerateInterfaces(DeviceClass::kVolumeInterface,
                               [] { return std::unique_ptr<clDevice>(new clNtVolume()); });
}

ErrorCode clWinUsbList::Refresh() {
    deferred_ = false;
    auto kind = [](std::uint8_t k) {
        return [k] { return std::unique_ptr<clDevice>(new clWinUsb(k)); };
    };
    ErrorCode first =
        EnumerateInterfaces(DeviceClass::kUsbHostControllerIface, kind(usbkind::kHostController));
    NumberHostControllers();
    const struct {
        DeviceClass cls;
        std::uint8_t kind;
    } passes[] = {
        {DeviceClass::kUsbHubInterface, usbkind::kHub},
        {DeviceClass::kUsbDeviceInterface, usbkind::kDevice},
        {DeviceClass::kUsbSetupClass, usbkind::kUnclassified},
    };
    for (const auto& pass : passes) {
        const ErrorCode e = EnumerateInterfaces(pass.cls, kind(pass.kind));
        if (first == err::kSuccess) first = e;
    }
    return first;
}

void clWinUsbList::NumberHostControllers() {
    constexpr std::uint32_t kControllers = 32;
    for (std::uint32_t n = 0; n < kControllers; ++n) {
        std::string key;
        const ErrorCode e = Storage().UsbHostControllerDriverKey(n, key);
        if (e == err::kNotSupported) return;
        if (e != err::kSuccess || key.empty()) continue;
        for (clDevice* d = FirstDevice(); d; d = NextDevice(d)) {
            auto* usb = static_cast<clUsb*>(d);
            if (usb->NodeKind() != usbkind::kHostController || usb->HostControllerNumber())
                continue;
            std::string driver;
            if (Storage().GetProperty(usb->DevInst(), DeviceProperty::kDriver, driver) ==
                    err::kSuccess &&
                PathEqualsNoCase(driver, key)) {
                usb->SetHostControllerNumber(n + 1);
                break;
            }
        }
    }
}

} // namespace tvd
