// Enumeration, device properties, mount points and hot-plug events of the Linux back end.
#include <poll.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "foundation/textconvutil.h"
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

PresentDevice LinuxStorage::Present(const std::string& syspath, const std::string& subsystem,
                                    bool withInterface) {
    PresentDevice p;
    p.devInst = DevInstOf(syspath);
    // A block device exists only while its driver has it registered; bus devices are started
    // when a driver is bound. With the daemon running, a device also waits for its rules.
    p.started = subsystem == "block" || !DriverOf(syspath).empty();
    if (udevRunning_) p.started = p.started && HasUdevRecord(syspath, subsystem);
    const std::string name = UeventValue(syspath, "DEVNAME");
    if (withInterface && !name.empty() && name.find("..") == std::string::npos) {
        p.hasInterface = true;
        p.interfacePath = "/dev/" + name;
    }
    return p;
}

namespace {

// Device directories of a subsystem (and devtype), in udev's order. Read from sysfs directly:
// libudev would resolve every path component by component and read each device twice.
std::vector<std::string> Scan(const char* subsystem, const char* devtype) {
    const std::string list = std::strcmp(subsystem, "block") == 0
                                 ? std::string("/sys/class/block")
                                 : "/sys/bus/" + std::string(subsystem) + "/devices";
    std::vector<std::string> out = ListedDevices(list);
    if (devtype)
        std::erase_if(out,
                      [&](const std::string& d) { return UeventValue(d, "DEVTYPE") != devtype; });
    return out;
}

} // namespace

void LinuxStorage::EnumerateDisks(std::vector<PresentDevice>& devices) {
    for (const std::string& path : Scan("block", "disk")) {
        const DiskKind kind = ClassifyDisk(path);
        if (kind == DiskKind::kNone || (kind == DiskKind::kLoop && !includeLoop_)) continue;
        devices.push_back(Present(path, "block", true));
    }
}

void LinuxStorage::EnumerateVolumes(std::vector<PresentDevice>& devices) {
    for (const std::string& path : Scan("block", nullptr)) {
        bool volume = false;
        if (UeventValue(path, "DEVTYPE") == "partition") {
            const DiskKind kind = ClassifyDisk(ParentDir(path));
            volume = kind == DiskKind::kPhysical || (kind == DiskKind::kLoop && includeLoop_);
        } else {
            volume = IsMappedVolume(path);
        }
        if (volume) devices.push_back(Present(path, "block", true));
    }
}

void LinuxStorage::EnumerateUsb(DeviceClass cls, std::vector<PresentDevice>& devices) {
    std::set<std::string> controllers;
    for (const std::string& path : Scan("usb", "usb_device")) {
        const std::string name = BaseName(path);
        const bool rootHub = name.rfind("usb", 0) == 0;
        const bool hub = ReadAttr(path, "bDeviceClass") == "09";
        switch (cls) {
        case DeviceClass::kUsbHostControllerIface: {
            // The controller is what the root hubs hang on; an xHCI has two of them.
            const std::string parent = rootHub ? ParentDevice(path) : std::string();
            if (!parent.empty() && controllers.insert(parent).second)
                devices.push_back(Present(parent, SubsystemOf(parent), false));
            break;
        }
        case DeviceClass::kUsbHubInterface:
            if (hub) devices.push_back(Present(path, "usb", true));
            break;
        case DeviceClass::kUsbDeviceInterface:
            if (!rootHub) devices.push_back(Present(path, "usb", true));
            break;
        default:
            devices.push_back(Present(path, "usb", false));
            break;
        }
    }
}

ErrorCode LinuxStorage::EnumerateClass(DeviceClass cls, std::vector<PresentDevice>& devices) {
    devices.clear();
    const SysfsQuery query;
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
    std::string parent;
    // A disk's parent is the USB device it hangs on, as the USB mass-storage device node is
    // the disk's parent on Windows.
    if (SubsystemOf(path) == "block" && UeventValue(path, "DEVTYPE") == "disk")
        parent = AncestorOfSubsystem(ParentDir(path), "usb", "usb_device");
    if (parent.empty()) parent = ParentDevice(path);
    return parent.empty() ? 0 : DevInstOf(parent);
}

ErrorCode LinuxStorage::GetProperty(std::uint32_t devInst, DeviceProperty prop,
                                    std::string& value) {
    value.clear();
    const SysfsQuery query;
    std::string path;
    if (!SyspathOf(devInst, path)) return err::kFileNotFound;
    const std::string subsystem = SubsystemOf(path);
    if (subsystem.empty()) return err::kFileNotFound;
    // udev's properties of a device are those of its database record.
    std::string record;
    bool recordRead = false;
    auto prop8 = [&](const char* key) {
        if (!recordRead) record = UdevRecordOfDevice(path, subsystem);
        recordRead = true;
        return UdevProperty(record, key);
    };
    const bool disk = subsystem == "block" && ClassifyDisk(path) != DiskKind::kNone;
    const bool usbDevice = subsystem == "usb" && UeventValue(path, "DEVTYPE") == "usb_device";
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

ErrorCode LinuxStorage::VolumeSpace(const std::u16string& root, std::uint64_t& total,
                                    std::uint64_t& free) {
    struct statvfs st {};
    if (root.empty()) return err::kInvalidParameter;
    if (statvfs(Utf16ToUtf8(root).c_str(), &st) != 0) return ErrorFromErrno(errno);
    total = static_cast<std::uint64_t>(st.f_blocks) * st.f_frsize;
    free = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    return err::kSuccess;
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
    const SysfsQuery query;
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
