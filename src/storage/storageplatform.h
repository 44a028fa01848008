// The storage back end: what the device registry and the storage queries need from a platform.
// Three implementations: the real Windows one (SetupDi/CM and DeviceIoControl), the real Linux
// one (sysfs, libudev, BLK* ioctls), and simulated drives described by files. They move bytes
// and report facts; every decision stays in the portable code above them.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/commandtypes.h"
#include "storage/storagetypes.h"

namespace tvd {

// The device classes the registry's lists enumerate.
enum class DeviceClass {
    kDiskInterface,          // {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}
    kVolumeInterface,        // {53F5630D-B6BF-11D0-94F2-00A0C91EFB8B}
    kUsbHostControllerIface, // {3ABF6F2D-71C4-462A-8A92-1E6861E6AF27}
    kUsbHubInterface,        // {F18A0E88-C30C-11D0-8815-00A0C906BED8}
    kUsbDeviceInterface,     // {A5DCBF10-6530-11D2-901F-00C04FB951ED}
    kUsbSetupClass,          // {36FC9E60-C465-11CF-8056-444553540000}, devices not interfaces
};

// One present device of a class, as enumeration sees it.
struct PresentDevice {
    std::uint32_t devInst = 0; // the platform's device-instance handle (stable per device)
    bool started = false;      // DN_STARTED
    bool hasInterface = false; // an interface of the class belongs to this very device
    std::string interfacePath; // full interface path (with its \\?\ prefix on Windows)
};

// Device node registry properties.
enum class DeviceProperty { kFriendlyName, kDeviceDesc, kDriver };

// A device-change event in portable form; the Windows layer decodes WM_DEVICECHANGE and the
// shell's media messages into these, Linux's udev monitor and the simulation produce them.
struct DeviceEvent {
    enum class Kind {
        kNodesChanged,     // DBT_DEVNODES_CHANGED
        kNodeArrival,      // DBT_DEVICEARRIVAL, device node
        kInterfaceArrival, // DBT_DEVICEARRIVAL, device interface
        kVolumeArrival,    // DBT_DEVICEARRIVAL, volume: unitMask, media
        kNodeRemoved,      // DBT_DEVICEREMOVECOMPLETE, device node: devInst
        kInterfaceRemoved, // DBT_DEVICEREMOVECOMPLETE, device interface: path
        kVolumeRemoved,    // DBT_DEVICEREMOVECOMPLETE, volume: unitMask, media
        kMediaInserted,    // shell media notification: letter
        kMediaRemoved,     // shell media notification: letter
        kIgnored,
    };
    Kind kind = Kind::kIgnored;
    std::uint32_t devInst = 0;
    std::string path; // interface path as the event names it (prefix not yet removed)
    std::uint32_t unitMask = 0;
    bool media = false;
    char letter = 0;
};

// An open device. Closed by its destructor; the back end decides what the token means. Handles
// made by Share refer to the same open device, which closes when the last of them closes (the
// device handles of a burst, devicehandleutil.h).
class DeviceHandle {
public:
    DeviceHandle() = default;
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
    DeviceHandle(DeviceHandle&& o) noexcept;
    DeviceHandle& operator=(DeviceHandle&& o) noexcept;
    ~DeviceHandle() { Close(); }

    bool IsOpen() const { return impl_ != nullptr; }
    bool Writable() const { return writable_; }
    void Close();
    // Makes this handle another reference to `other`'s open device (closed when `other` is).
    void Share(const DeviceHandle& other) {
        impl_ = other.impl_;
        writable_ = impl_ ? other.writable_ : false;
    }
    // Whether both refer to the same open device.
    bool SameDevice(const DeviceHandle& other) const {
        return impl_ != nullptr && impl_ == other.impl_;
    }

    // For back ends only.
    struct Impl {
        virtual ~Impl() = default;
    };
    void Reset(std::unique_ptr<Impl> impl, bool writable) {
        impl_ = std::move(impl);
        writable_ = writable;
    }
    Impl* Get() const { return impl_.get(); }

private:
    std::shared_ptr<Impl> impl_;
    bool writable_ = false;
};

// One SCSI command through the platform's pass-through (Linux SG_IO, Windows
// IOCTL_SCSI_PASS_THROUGH, the simulation's SCSI personality). The back end answers kSuccess when
// the command reached the device and came back (whatever its SCSI status); a transport, host or
// driver failure is an error. For data-in the answer may be shorter than `data`: `transferred`
// says how much arrived.
struct ScsiCommandRequest {
    ByteView cdb; // 6 to 16 bytes
    DataDirection direction = DataDirection::kNone;
    MutableByteView data; // in: filled by the device; out: sent to it
    std::uint32_t timeoutSeconds = 10;
    ScsiAddress address; // path, target, LUN for platforms that address by them
    // Results.
    std::uint8_t status = 0xFF;    // SCSI status byte; 0 GOOD, 2 CHECK CONDITION
    std::uint32_t transferred = 0; // bytes actually moved
    std::uint8_t sense[kScsiSenseSize] = {};
    std::uint8_t senseLength = 0;
};

// One NVMe command through the platform's pass-through (Linux NVME_IOCTL_ADMIN_CMD, the
// simulation). kSuccess when the command reached the controller and a completion came back;
// the completion's status field (bytes 14-15) then tells the command's own outcome.
struct NvmeCommandRequest {
    bool admin = true;
    std::uint8_t command[kNvmeCommandSize] = {};
    DataDirection direction = DataDirection::kNone;
    MutableByteView data;
    std::uint32_t timeoutSeconds = 10;
    // Result: the completion-queue entry as far as the platform returns it (Linux: dword 0 and
    // the status field; the rest zero).
    std::uint8_t completion[kNvmeCompletionSize] = {};
};

// How the clone opens a whole disk.
enum class CloneOpenMode { kSource, kTarget };

// What a back end knows of a disk that the clone's refusals need; the simulation answers from
// its drive files, the real back ends find these out otherwise.
struct CloneDiskFacts {
    bool systemDisk = false;    // holds the running system
    bool mountedVolume = false; // a volume on it is mounted
};

class StoragePlatform {
public:
    virtual ~StoragePlatform() = default;
    virtual const char* Name() const = 0; // "win32", "linux", "sim"

    // --- Enumeration
    virtual ErrorCode EnumerateClass(DeviceClass cls, std::vector<PresentDevice>& devices) = 0;
    // Parent device node, 0 when none.
    virtual std::uint32_t ParentOf(std::uint32_t devInst) = 0;
    virtual ErrorCode GetProperty(std::uint32_t devInst, DeviceProperty prop,
                                  std::string& value) = 0;
    // Letters present (bit 0 = 'A'); 0 where the platform has no drive letters.
    virtual std::uint32_t LogicalDrives() = 0;
    virtual std::uint32_t DriveType(char letter) = 0;
    // Display name of a drive letter's root (the shell's name of "X:\").
    virtual ErrorCode DriveDisplayName(char letter, std::string& name) = 0;
    // Mount points of a volume path (Linux); empty elsewhere.
    virtual std::vector<std::string> MountPoints(const std::string& volumePath) = 0;
    // Size and free bytes of the file system at `root` (a drive root "X:\\" or a volume path on
    // Windows, a mount point on Linux).
    virtual ErrorCode VolumeSpace(const std::u16string& root, std::uint64_t& total,
                                  std::uint64_t& free) {
        (void)root, (void)total, (void)free;
        return err::kNotSupported;
    }
    // Driver key name of USB host controller `index` (0-31; Windows: \\.\HCD<index>, read-only,
    // IOCTL_GET_HCD_DRIVERKEY_NAME), compared by the registry with a host-controller node's
    // kDriver property to number it index + 1. kFileNotFound when there is no such controller;
    // platforms without this numbering keep the default.
    virtual ErrorCode UsbHostControllerDriverKey(std::uint32_t index, std::string& driverKey) {
        (void)index;
        driverKey.clear();
        return err::kNotSupported;
    }

    // --- Notifications. `window` is the platform window that receives them (may be null).
    virtual ErrorCode RegisterNotifications(void* window, DeviceClass cls, void*& token) = 0;
    virtual void UnregisterNotifications(void* token) = 0;
    // Events that arrived without a window message (Linux udev monitor, simulation); appended.
    virtual void PollEvents(std::vector<DeviceEvent>& events) = 0;

    // --- Opening. `path` is a registry path (prefix removed, upper-cased on Windows): read and
    // write with sharing first, then read only. kAccessDenied tells "exists, no rights".
    virtual ErrorCode Open(const std::string& path, DeviceHandle& handle) = 0;
    virtual ErrorCode OpenLetter(char letter, DeviceHandle& handle) = 0;
    // A whole disk opened for reading only (surface scans): no write access is asked for, and
    // the system's cache is bypassed, so offsets, lengths and buffers must be aligned to 4096
    // bytes. By default the clone's source open, which is exactly that.
    virtual ErrorCode OpenRead(const std::string& path, DeviceHandle& handle) {
        return OpenForClone(path, CloneOpenMode::kSource, handle);
    }
    // A handle good for the storage queries (descriptor, device number, geometry, length,
    // layout) of a device the caller may not open for I/O: where the system tells these facts
    // without opening the device, a back end answers from them. Commands and sector access
    // through such a handle fail. The default is Open.
    virtual ErrorCode OpenForQuery(const std::string& path, DeviceHandle& handle) {
        return Open(path, handle);
    }

    // Buses whose disks become functional disks on this platform beyond the portable rules
    // (FunDiskBusAccepted), and the name the platform's users know a bus by.
    virtual bool AdmitsExtraBus(std::uint32_t busType) {
        (void)busType;
        return false;
    }
    virtual const char* BusName(std::uint32_t busType) { return BusTypeName(busType); }

    // --- Storage queries of an open device.
    virtual ErrorCode GetDeviceNumber(DeviceHandle& h, StorageDeviceNumber& out) = 0;
    virtual ErrorCode QueryDeviceDescriptor(DeviceHandle& h, StorageDeviceDescriptor& out) = 0;
    virtual ErrorCode QueryAdapterDescriptor(DeviceHandle& h, std::vector<std::uint8_t>& raw) = 0;
    virtual ErrorCode QueryTrimEnabled(DeviceHandle& h, bool& enabled) = 0;
    virtual ErrorCode QueryTemperature(DeviceHandle& h, std::vector<TemperatureInfo>& out) = 0;
    virtual ErrorCode GetHotplugInfo(DeviceHandle& h, std::uint8_t (&info)[8]) = 0;
    virtual ErrorCode GetScsiAddress(DeviceHandle& h, ScsiAddress& out) = 0;
    virtual ErrorCode GetGeometry(DeviceHandle& h, DiskGeometry& out) = 0;
    virtual ErrorCode GetLength(DeviceHandle& h, std::uint64_t& bytes) = 0;
    virtual ErrorCode IsWritable(DeviceHandle& h, bool& writable) = 0;
    virtual ErrorCode GetMountDeviceName(DeviceHandle& h, std::u16string& name) = 0;
    virtual ErrorCode GetVolumeExtents(DeviceHandle& h, std::vector<DiskExtent>& out) = 0;
    virtual ErrorCode GetPartitionInfo(DeviceHandle& h, PartitionEntry& out) = 0;
    virtual ErrorCode GetDriveLayout(DeviceHandle& h, DriveLayout& out) = 0;
    // Destructive layout requests (the clone and erase use them).
    virtual ErrorCode CreateMbrLayout(DeviceHandle& h, std::uint32_t signature,
                                      const std::vector<PartitionEntry>& partitions) = 0;
    virtual ErrorCode DeleteLayout(DeviceHandle& h) = 0;
    // A new GPT disk (the layout's disk GUID and entry count) with the layout's partitions, both
    // tables and the protective MBR written by the system. Where the system has no such request
    // the caller writes the sectors itself (kNotSupported).
    virtual ErrorCode CreateGptLayout(DeviceHandle& h, const DriveLayout& layout) {
        (void)h;
        (void)layout;
        return err::kNotSupported;
    }
    // Everything written through the handle reaches the medium (kNotSupported where the back
    // end writes through already).
    virtual ErrorCode FlushBuffers(DeviceHandle& h) {
        (void)h;
        return err::kNotSupported;
    }
    virtual ErrorCode TrimRange(DeviceHandle& h, std::uint64_t offset, std::uint64_t length) = 0;
    // PCI link of the storage controller with this device node.
    virtual ErrorCode GetPciLink(std::uint32_t controllerDevInst, PciLinkInfo& out) = 0;
    // Device node of the controller a disk hangs on, 0 when unknown.
    virtual std::uint32_t ControllerOf(std::uint32_t diskDevInst) = 0;

    // --- Command pass-through (the command layers of ATA, NVMe and SCSI use it). A back end
    // without the path answers kNotSupported.
    virtual ErrorCode ScsiCommand(DeviceHandle& h, ScsiCommandRequest& request) {
        (void)h;
        (void)request;
        return err::kNotSupported;
    }
    virtual ErrorCode NvmeCommand(DeviceHandle& h, NvmeCommandRequest& request) {
        (void)h;
        (void)request;
        return err::kNotSupported;
    }
    // A raw Windows device-control request of the storage stack (codes in commandtypes.h).
    // `in` and `out` may be the same memory. Windows issues it; the simulation answers the
    // codes its personalities understand; Linux has no such requests.
    virtual ErrorCode IoControl(DeviceHandle& h, std::uint32_t code, ByteView in,
                                MutableByteView out, std::uint32_t& returned) {
        (void)h;
        (void)code;
        (void)in;
        (void)out;
        returned = 0;
        return err::kNotSupported;
    }

    // --- The clone's own open of a whole disk: unbuffered and written through, the source
    // read-only, the target read-write and exclusive (Windows: every volume of the disk locked
    // and dismounted until the handle closes, a volume that will not lock refuses the target;
    // Linux: O_DIRECT, the target O_EXCL, which the kernel refuses while a partition is mounted
    // or held). ReadAt/WriteAt on such a handle take page-aligned buffers of whole sectors.
    virtual ErrorCode OpenForClone(const std::string& path, CloneOpenMode mode,
                                   DeviceHandle& handle) {
        (void)path;
        (void)mode;
        handle.Close();
        return err::kNotSupported;
    }
    virtual ErrorCode QueryCloneFacts(const std::string& path, CloneDiskFacts& facts) {
        (void)path;
        facts = CloneDiskFacts{};
        return err::kNotSupported;
    }

    // --- Sector access (scans, clone, benchmark use it; offsets and sizes in bytes).
    virtual ErrorCode ReadAt(DeviceHandle& h, std::uint64_t offset, MutableByteView data) = 0;
    virtual ErrorCode WriteAt(DeviceHandle& h, std::uint64_t offset, ByteView data) = 0;
};

// The back end in use: the platform's own unless one was selected.
StoragePlatform& Storage();
// Selects a back end for the process (not owned); nullptr restores the platform's own.
void SelectStorage(StoragePlatform* platform);
// The platform's own back end (Windows or Linux).
StoragePlatform& NativeStorage();
// Creates the simulated back end over the drive files of a folder; null with `error` set when
// the folder cannot be read. `readOnly`: no image file is created, grown or written.
std::unique_ptr<StoragePlatform> NewSimStorage(const std::string& folder, ErrorCode& error,
                                               bool readOnly = false);
// The environment variable that selects simulated drives for the programs.
inline constexpr const char* kSimulateEnv = "TARVIKDORN_SIMULATE";

} // namespace tvd
