// The Linux storage back end: devices from libudev and sysfs, hot-plug from a udev monitor,
// storage queries through BLK* ioctls and sysfs, layouts through the portable table reader.
//
// Loop devices are physical disks here only when asked for: SetIncludeLoop(true), or the
// environment variable TARVIKDORN_LIST_LOOP=1 when the back end is created. Loop devices without
// a backing file are never listed.
//
// Device-instance keys are per sysfs path (see linuxdevinst.h). Interface paths are the /dev
// nodes. Linux has no drive letters: LogicalDrives() is 0 and volumes carry mount points.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "storage/linux/linuxudev.h"
#include "storage/storageplatform.h"

namespace tvd {

inline constexpr const char* kListLoopEnv = "TARVIKDORN_LIST_LOOP";

class LinuxStorage final : public StoragePlatform {
public:
    LinuxStorage();
    ~LinuxStorage() override;

    void SetIncludeLoop(bool include) { includeLoop_ = include; }
    bool IncludeLoop() const { return includeLoop_; }

    const char* Name() const override { return "linux"; }

    ErrorCode EnumerateClass(DeviceClass cls, std::vector<PresentDevice>& devices) override;
    std::uint32_t ParentOf(std::uint32_t devInst) override;
    ErrorCode GetProperty(std::uint32_t devInst, DeviceProperty prop, std::string& value) override;
    std::uint32_t LogicalDrives() override { return 0; }
    std::uint32_t DriveType(char letter) override;
    ErrorCode VolumeSpace(const std::u16string& root, std::uint64_t& total,
                          std::uint64_t& free) override;
    ErrorCode DriveDisplayName(char letter, std::string& name) override;
    std::vector<std::string> MountPoints(const std::string& volumePath) override;

    ErrorCode RegisterNotifications(void* window, DeviceClass cls, void*& token) override;
    void UnregisterNotifications(void* token) override;
    void PollEvents(std::vector<DeviceEvent>& events) override;

    ErrorCode Open(const std::string& path, DeviceHandle& handle) override;
    ErrorCode OpenLetter(char letter, DeviceHandle& handle) override;
    ErrorCode OpenForQuery(const std::string& path, DeviceHandle& handle) override;
    bool AdmitsExtraBus(std::uint32_t busType) override;
    const char* BusName(std::uint32_t busType) override;
    ErrorCode OpenForClone(const std::string& path, CloneOpenMode mode,
                           DeviceHandle& handle) override;

    ErrorCode GetDeviceNumber(DeviceHandle& h, StorageDeviceNumber& out) override;
    ErrorCode QueryDeviceDescriptor(DeviceHandle& h, StorageDeviceDescriptor& out) override;
    ErrorCode QueryAdapterDescriptor(DeviceHandle& h, std::vector<std::uint8_t>& raw) override;
    ErrorCode QueryTrimEnabled(DeviceHandle& h, bool& enabled) override;
    ErrorCode QueryTemperature(DeviceHandle& h, std::vector<TemperatureInfo>& out) override;
    ErrorCode GetHotplugInfo(DeviceHandle& h, std::uint8_t (&info)[8]) override;
    ErrorCode GetScsiAddress(DeviceHandle& h, ScsiAddress& out) override;
    ErrorCode GetGeometry(DeviceHandle& h, DiskGeometry& out) override;
    ErrorCode GetLength(DeviceHandle& h, std::uint64_t& bytes) override;
    ErrorCode IsWritable(DeviceHandle& h, bool& writable) override;
    ErrorCode GetMountDeviceName(DeviceHandle& h, std::u16string& name) override;
    ErrorCode GetVolumeExtents(DeviceHandle& h, std::vector<DiskExtent>& out) override;
    ErrorCode GetPartitionInfo(DeviceHandle& h, PartitionEntry& out) override;
    ErrorCode GetDriveLayout(DeviceHandle& h, DriveLayout& out) override;
    ErrorCode CreateMbrLayout(DeviceHandle& h, std::uint32_t signature,
                              const std::vector<PartitionEntry>& partitions) override;
    ErrorCode DeleteLayout(DeviceHandle& h) override;
    ErrorCode FlushBuffers(DeviceHandle& h) override;
    ErrorCode TrimRange(DeviceHandle& h, std::uint64_t offset, std::uint64_t length) override;
    ErrorCode GetPciLink(std::uint32_t controllerDevInst, PciLinkInfo& out) override;
    std::uint32_t ControllerOf(std::uint32_t diskDevInst) override;

    ErrorCode ReadAt(DeviceHandle& h, std::uint64_t offset, MutableByteView data) override;
    ErrorCode WriteAt(DeviceHandle& h, std::uint64_t offset, ByteView data) override;

    // SG_IO and the NVMe driver's pass-through on the opened node (linuxcommands.cpp).
    ErrorCode ScsiCommand(DeviceHandle& h, ScsiCommandRequest& request) override;
    ErrorCode NvmeCommand(DeviceHandle& h, NvmeCommandRequest& request) override;
    // The USB hub requests on USB nodes, answered from sysfs (linuxusb.cpp).
    ErrorCode IoControl(DeviceHandle& h, std::uint32_t code, ByteView in, MutableByteView out,
                        std::uint32_t& returned) override;

private:
    // libudev objects are not thread-safe: everything that touches them holds mutex_.
    udev* Udev();
    ErrorCode EnsureMonitor();
    void EnumerateDisks(std::vector<PresentDevice>& devices);
    void EnumerateVolumes(std::vector<PresentDevice>& devices);
    void EnumerateUsb(DeviceClass cls, std::vector<PresentDevice>& devices);
    PresentDevice Present(const std::string& syspath, const std::string& subsystem,
                          bool withInterface);

    std::atomic<bool> includeLoop_{false};
    bool udevRunning_ = false;
    std::mutex mutex_;
    linuxsys::UdevPtr udev_;
    linuxsys::UdevMonitorPtr monitor_;
    std::set<std::unique_ptr<int>> registrations_;
};

namespace linuxsys {

// What a uevent says, reduced to what the events depend on.
struct UeventFacts {
    std::string action;        // add, remove, change, ...
    std::string subsystem;     // block, usb
    std::string devtype;       // disk, partition, usb_device
    std::string sysname;       // sda, loop0p1, 1-2
    std::string devnode;       // /dev/sda; empty when none
    bool mediaChange = false;  // DISK_MEDIA_CHANGE=1
    bool loopBacked = false;   // a loop device with a backing file right now
    std::uint32_t devInst = 0; // the device's key if it has one
};
// The portable events of one uevent: additions are arrivals, removals are removals of the
// interface and of the node, media changes ask for a refresh. A loop device arrives and leaves
// with its backing file (its node stays); loop devices raise no events unless listed.
void MapUevent(const UeventFacts& facts, bool includeLoop, std::vector<DeviceEvent>& out);

// The file descriptor of a handle this back end opened; -1 for any other handle.
int HandleFd(DeviceHandle& h);
// One SG_IO request: kSuccess when the command came back, whatever its SCSI status; host or
// driver failures are errors.
ErrorCode ScsiIoctl(int fd, ScsiCommandRequest& request);
// One NVMe pass-through request (admin or I/O): kSuccess when a completion came back; its
// dword 0 and status field are in request.completion.
ErrorCode NvmeIoctl(int fd, NvmeCommandRequest& request);

} // namespace linuxsys

} // namespace tvd
