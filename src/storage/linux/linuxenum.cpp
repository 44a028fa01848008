// Enumeration, device properties, mount points and hot-plug events of the Linux back end.
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "storage/linux/linuxdevinst.h"
#include "storage/linux/linuxmountinfo.h"
#include "storage/linux/linuxstorage.h"
#include "storage/linux/linuxsysfs.h"

namespace tvd {

using namespace linuxsys;

namespace {

// Events read per PollEvents call; the rest wait for the next call.
constexpr int kMaxEventsPerPoll = 1024;

std::string Str(const char* s) {
    return s ? std::string(s) : std::string();
}

bool IsLoopName(const std::string& sysname) {
    return sysname.rfind("loop", 0) == 0;
}

std::string DevTypeOf(udev_device* dev) {
    return Str(udev_device_get_devtype(dev));
}

// udev's database: only when the daemon runs are its properties and "initialized" meaningful.
bool UdevDaemonRunning() {
    return ::access("/run/udev/control", F_OK) == 0;
}

std::string JoinWords(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + " " + b;
}

} // namespace

LinuxStorage::LinuxStorage() : udevRunning_(UdevDaemonRunning()) {
    const char* env = std::getenv(kListLoopEnv);
    includeLoop_ = env != nullptr && std::strcmp(env, "1") == 0;
}

LinuxStorage::~LinuxStorage() = default;

StoragePlatform& NativeStorage() {
    static LinuxStorage storage;
    return storage;
}

udev* LinuxStorage::Udev() {
    if (!udev_) udev_.reset(udev_new());
    return udev_.get();
}

PresentDevice LinuxStorage::Present(udev_device* dev, bool withInterface) {
    PresentDevice p;
    p.devInst = DevInstOf(Str(udev_device_get_syspath(dev)));
    const std::string subsystem = Str(udev_device_get_subsystem(dev));
    // A block device exists only while its driver has it registered; bus devices are started
    // when a driver is bound. With the daemon running, a device also waits for its rules.
    p.started = subsystem == "block" || udev_device_get_driver(dev) != nullptr;
    if (udevRunning_) p.started = p.started && udev_device_get_is_initialized(dev) != 0;
    const std::string node = Str(udev_device_get_devnode(dev));
    if (withInterface && !node.empty()) {
        p.hasInterface = true;
        p.interfacePath = node;
    }
    return p;
}

namespace {

// Syspaths of the devices of a subsystem (and devtype), in udev's order.
std::vector<std::string> Scan(udev* u, const char* subsystem, const char* devtype) {
    std::vector<std::string> out;
    if (u == nullptr) return out;
    UdevEnumeratePtr e(udev_enumerate_new(u));
    if (!e) return out;
    udev_enumerate_add_match_subsystem(e.get(), subsystem);
    if (devtype) udev_enumerate_add_match_property(e.get(), "DEVTYPE", devtype);
    if (udev_enumerate_scan_devices(e.get()) < 0) return out;
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e.get())) {
        out.push_back(Str(udev_list_entry_get_name(entry)));
    }
    return out;
}

} // namespace

void LinuxStorage::EnumerateDisks(std::vector<PresentDevice>& devices) {
    for (const std::string& path : Scan(Udev(), "block", "disk")) {
        const DiskKind kind = ClassifyDisk(path);
        if (kind == DiskKind::kNone || (kind == DiskKind::kLoop && !includeLoop_)) continue;
        UdevDevicePtr dev(udev_device_new_from_syspath(Udev(), path.c_str()));
        if (dev) devices.push_back(Present(dev.get(), true));
    }
}

void LinuxStorage::EnumerateVolumes(std::vector<PresentDevice>& devices) {
    for (const std::string& path : Scan(Udev(), "block", nullptr)) {
        UdevDevicePtr dev(udev_device_new_from_syspath(Udev(), path.c_str()));
        if (!dev) continue;
        bool volume = false;
        if (DevTypeOf(dev.get()) == "partition") {
            const DiskKind kind = ClassifyDisk(ParentDir(path));
            volume = kind == DiskKind::kPhysical || (kind == DiskKind::kLoop && includeLoop_);
        } else {
            volume = IsMappedVolume(path);
        }
        if (volume) devices.push_back(Present(dev.get(), true));
    }
}

void LinuxStorage::EnumerateUsb(DeviceClass cls, std::vector<PresentDevice>& devices) {
    std::set<std::string> controllers;
    for (const std::string& path : Scan(Udev(), "usb", "usb_device")) {
        UdevDevicePtr dev(udev_device_new_from_syspath(Udev(), path.c_str()));
        if (!dev) continue;
        const std::string name = BaseName(path);
        const bool rootHub = name.rfind("usb", 0) == 0;
        const bool hub = ReadAttr(path, "bDeviceClass") == "09";
        switch (cls) {
        case DeviceClass::kUsbHostControllerIface: {
            // The controller is what the root hubs hang on; an xHCI has two of them.
            udev_device* parent = rootHub ? udev_device_get_parent(dev.get()) : nullptr;
            const std::string parentPath = parent ? Str(udev_device_get_syspath(parent)) : "";
            if (!parentPath.empty() && controllers.insert(parentPath).second)
                devices.push_back(Present(parent, false));
            break;
        }
        case DeviceClass::kUsbHubInterface:
            if (hub) devices.push_back(Present(dev.get(), true));
            break;
        case DeviceClass::kUsbDeviceInterface:
            if (!rootHub) devices.push_back(Present(dev.get(), true));
            break;
        default:
            devices.push_back(Present(dev.get(), false));
            break;
        }
    }
}

ErrorCode LinuxStorage::EnumerateClass(DeviceClass cls, std::vector<PresentDevice>& devices) {
    devices.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    if (Udev() == nullptr) return err::kNoSystemResources;
    switch (cls) {
    case DeviceClass::kDiskInterface:
        EnumerateDisks(devices);
        return err::kSuccess;
    case DeviceClass::kVolumeInterface:
        EnumerateVolumes(devices);
        return err::kSuccess;
    case DeviceClass::kUsbHostControllerIface:
    case DeviceClass::kUsbHubInterface:
    case DeviceClass::kUsbDeviceInterface:
    case DeviceClass::kUsbSetupClass:
        EnumerateUsb(cls, devices);
        return err::kSuccess;
    }
    return err::kInvalidParameter;
}

std::uint32_t LinuxStorage::ParentOf(std::uint32_t devInst) {
    std::string path;
    if (!SyspathOf(devInst, path)) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Udev() == nullptr) return 0;
    UdevDevicePtr dev(udev_device_new_from_syspath(Udev(), path.c_str()));
    if (!dev) return 0;
    udev_device* parent = nullptr;
    // A disk's parent is the USB device it hangs on, as the USB mass-storage device node is
    // the disk's parent on Windows.
    if (Str(udev_device_get_subsystem(dev.get())) == "block" && DevTypeOf(dev.get()) == "disk")
        parent = udev_device_get_parent_with_subsystem_devtype(dev.get(), "usb", "usb_device");
    if (parent == nullptr) parent = udev_device_get_parent(dev.get());
    return parent ? DevInstOf(Str(udev_device_get_syspath(parent))) : 0;
}

ErrorCode LinuxStorage::GetProperty(std::uint32_t devInst, DeviceProperty prop,
                                    std::string& value) {
    value.clear();
    std::string path;
    if (!SyspathOf(devInst, path)) return err::kFileNotFound;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Udev() == nullptr) return err::kNoSystemResources;
    UdevDevicePtr dev(udev_device_new_from_syspath(Udev(), path.c_str()));
    if (!dev) return err::kFileNotFound;
    auto prop8 = [&](const char* key) {
        return Str(udev_device_get_property_value(dev.get(), key));
    };
    const std::string subsystem = Str(udev_device_get_subsystem(dev.get()));
    const bool disk = subsystem == "block" && ClassifyDisk(path) != DiskKind::kNone;
    const bool usbDevice = subsystem == "usb" && DevTypeOf(dev.get()) == "usb_device";
    switch (prop) {
    case DeviceProperty::kFriendlyName:
        if (disk) {
            DiskIdentity id = IdentifyDisk(path);
            MergeUdevRecord(UdevRecordOf(path), id);
            value = JoinWords(id.vendor, id.product);
            if (value.empty()) value = JoinWords(prop8("ID_VENDOR"), prop8("ID_MODEL"));
        } else if (usbDevice) {
            value = ReadAttr(path, "product");
        }
        break;
    case DeviceProperty::kDeviceDesc:
        if (usbDevice) value = ReadAttr(path, "product");
        if (value.empty()) value = prop8("ID_MODEL");
        if (value.empty() && disk) value = IdentifyDisk(path).product;
        if (value.empty()) value = prop8("ID_MODEL_FROM_DATABASE");
        break;
    case DeviceProperty::kDriver:
        // A USB device's key is its name, as the hub requests name the device on a port.
        if (usbDevice) {
            value = BaseName(path);
            break;
        }
        // Block devices have no driver of their own; theirs is the one of the device below.
        for (std::string d = path; value.empty() && d.size() > 1; d = ParentDir(d))
            value = DriverOf(d);
        break;
    }
    return value.empty() ? err::kFileNotFound : err::kSuccess;
}

std::uint32_t LinuxStorage::DriveType(char) {
    return drivetype::kNoRootDir;
}

ErrorCode LinuxStorage::DriveDisplayName(char, std::string& name) {
    name.clear();
    return err::kNotSupported; // no drive letters on Linux
}

std::vector<std::string> LinuxStorage::MountPoints(const std::string& volumePath) {
    struct stat st {};
    if (volumePath.empty() || ::stat(volumePath.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
        return {};
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return MountPointsOf(ParseMountInfo(text.str()), major(st.st_rdev), minor(st.st_rdev),
                         Canonical(volumePath));
}

ErrorCode LinuxStorage::EnsureMonitor() {
    if (monitor_) return err::kSuccess;
    if (Udev() == nullptr) return err::kNoSystemResources;
    // Without the daemon nobody relays the kernel's events: listen to the kernel itself.
    UdevMonitorPtr m(udev_monitor_new_from_netlink(Udev(), udevRunning_ ? "udev" : "kernel"));
    if (!m) return errno ? ErrorFromErrno(errno) : err::kNotSupported;
    udev_monitor_filter_add_match_subsystem_devtype(m.get(), "block", nullptr);
    udev_monitor_filter_add_match_subsystem_devtype(m.get(), "usb", "usb_device");
    udev_monitor_set_receive_buffer_size(m.get(), 4 << 20);
    if (int r = udev_monitor_enable_receiving(m.get()); r < 0) return ErrorFromErrno(-r);
    monitor_ = std::move(m);
    return err::kSuccess;
}

ErrorCode LinuxStorage::RegisterNotifications(void*, DeviceClass, void*& token) {
    token = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (ErrorCode e = EnsureMonitor(); e != err::kSuccess) return e;
    auto reg = std::make_unique<int>(0);
    token = reg.get();
    registrations_.insert(std::move(reg));
    return err::kSuccess;
}

void LinuxStorage::UnregisterNotifications(void* token) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = registrations_.begin(); it != registrations_.end(); ++it)
        if (it->get() == token) {
            registrations_.erase(it);
            return;
        }
}

void LinuxStorage::PollEvents(std::vector<DeviceEvent>& events) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (EnsureMonitor() != err::kSuccess) return;
    const int fd = udev_monitor_get_fd(monitor_.get());
    for (int i = 0; i < kMaxEventsPerPoll; ++i) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) break;
        UdevDevicePtr dev(udev_monitor_receive_device(monitor_.get()));
        if (!dev) continue;
        UeventFacts f;
        f.action = Str(udev_device_get_action(dev.get()));
        f.subsystem = Str(udev_device_get_subsystem(dev.get()));
        f.devtype = DevTypeOf(dev.get());
        f.sysname = Str(udev_device_get_sysname(dev.get()));
        f.devnode = Str(udev_device_get_devnode(dev.get()));
        f.mediaChange = Str(udev_device_get_property_value(dev.get(), "DISK_MEDIA_CHANGE")) == "1";
        const std::string syspath = Str(udev_device_get_syspath(dev.get()));
        if (f.subsystem == "block" && f.devtype == "disk" && IsLoopName(f.sysname))
            f.loopBacked = f.action != "remove" && ClassifyDisk(syspath) == DiskKind::kLoop;
        f.devInst = FindDevInst(syspath);
        MapUevent(f, includeLoop_, events);
    }
}

namespace linuxsys {

void MapUevent(const UeventFacts& f, bool includeLoop, std::vector<DeviceEvent>& out) {
    const bool block = f.subsystem == "block";
    const bool usbDevice = f.subsystem == "usb" && f.devtype == "usb_device";
    if (!block && !usbDevice) return;
    if (block && IsLoopName(f.sysname) && !includeLoop) return;
    auto arrival = [&] {
        DeviceEvent e;
        e.kind = f.devnode.empty() ? DeviceEvent::Kind::kNodeArrival
                                   : DeviceEvent::Kind::kInterfaceArrival;
        e.path = f.devnode;
        e.devInst = f.devInst;
        out.push_back(e);
    };
    auto removal = [&] {
        if (!f.devnode.empty()) {
            DeviceEvent e;
            e.kind = DeviceEvent::Kind::kInterfaceRemoved;
            e.path = f.devnode;
            out.push_back(e);
        }
        if (f.devInst != 0) {
            DeviceEvent e;
            e.kind = DeviceEvent::Kind::kNodeRemoved;
            e.devInst = f.devInst;
            out.push_back(e);
        }
    };
    // A loop device's node outlives its backing file: binding and unbinding are its arrival
    // and removal.
    if (block && f.devtype == "disk" && IsLoopName(f.sysname) &&
        (f.action == "add" || f.action == "change")) {
        if (f.loopBacked)
            arrival();
        else
            removal();
        return;
    }
    if (f.action == "add")
        arrival();
    else if (f.action == "remove")
        removal();
    else if (f.action == "change" && block && f.mediaChange) {
        DeviceEvent e;
        e.kind = DeviceEvent::Kind::kNodesChanged;
        e.devInst = f.devInst;
        out.push_back(e);
    }
}

} // namespace linuxsys

std::uint32_t LinuxStorage::ControllerOf(std::uint32_t diskDevInst) {
    std::string path;
    if (!SyspathOf(diskDevInst, path)) return 0;
    const std::string pci = AncestorOfSubsystem(HardwareDir(path), "pci");
    return pci.empty() ? 0 : DevInstOf(pci);
}

ErrorCode LinuxStorage::GetPciLink(std::uint32_t controllerDevInst, PciLinkInfo& out) {
    out = PciLinkInfo{};
    std::string path;
    if (!SyspathOf(controllerDevInst, path)) return err::kFileNotFound;
    if (SubsystemOf(path) != "pci") return kNotFound;
    return ReadPciLink(path, out);
}

} // namespace tvd
