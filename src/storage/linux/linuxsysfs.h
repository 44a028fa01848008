// Facts about block devices read from sysfs: which block devices are physical disks, which bus
// a disk hangs on, its identity strings, SCSI address, hot-plug traits, and the PCI link of its
// controller. Every function takes sysfs directory paths and reads plain files, so the same code
// runs on /sys and on a directory tree a test built.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/errorcodes.h"
#include "storage/storagetypes.h"

namespace tvd::linuxsys {

// ERROR_NOT_FOUND: an attribute the query needs is absent.
inline constexpr ErrorCode kNotFound = 1168;
// ERROR_NOT_READY: a drive without its medium.
inline constexpr ErrorCode kNotReady = err::kNotReady;
// ERROR_WRITE_PROTECT: a write to a read-only device.
inline constexpr ErrorCode kWriteProtect = err::kWriteProtect;

// While one lives on a thread, the ancestry walks remember the subsystem links and uevent files
// they read, so that the walks of one query (or one enumeration) read each only once. Nest
// freely; the outermost forgets everything.
class SysfsQuery {
public:
    SysfsQuery();
    ~SysfsQuery();
    SysfsQuery(const SysfsQuery&) = delete;
    SysfsQuery& operator=(const SysfsQuery&) = delete;
};

// An attribute's text without surrounding white space; empty when absent or unreadable.
std::string ReadAttr(const std::string& dir, std::string_view name);
// The attribute's bytes (binary attributes such as VPD pages), at most `limit` of them.
bool ReadAttrBytes(const std::string& dir, std::string_view name, std::vector<std::uint8_t>& out,
                   std::size_t limit = 4096);
bool ReadAttrU64(const std::string& dir, std::string_view name, std::uint64_t& value);
// Entry names of a directory, sorted; empty when it cannot be read.
std::vector<std::string> ListDir(const std::string& dir);
// Last path component of the "subsystem" link of a device directory; empty when none.
std::string SubsystemOf(const std::string& dir);
// Name of the driver bound to a device directory; empty when none.
std::string DriverOf(const std::string& dir);
std::string BaseName(std::string_view path);
std::string ParentDir(std::string_view path);
// The canonical path (symbolic links resolved); empty when it does not exist.
std::string Canonical(const std::string& path);

enum class DiskKind {
    kNone,     // not a disk of its own: RAM disks, zram, dm, md, optical, hidden paths, ...
    kPhysical, // a drive on a bus
    kLoop,     // a loop device with a backing file
};
// Classifies a block device of devtype "disk" by its (canonical) sysfs directory.
DiskKind ClassifyDisk(const std::string& blockDir);
// A device-mapper or MD device that holds data of other block devices (its slaves).
bool IsMappedVolume(const std::string& blockDir);
// The sysfs directory of a partition's disk, or the directory itself for a whole disk.
std::string DiskDirOf(const std::string& blockDir);
bool IsPartitionDir(const std::string& blockDir);

// Where a disk's hardware ancestry starts. Multipath NVMe namespace heads live under the
// virtual nvme-subsystem device; they lead to their first controller, which sits on the bus.
std::string HardwareDir(const std::string& blockDir);
// The nearest ancestor of `dir` (itself included) of a subsystem (and, when given, a devtype
// from its uevent); empty when none.
std::string AncestorOfSubsystem(const std::string& dir, std::string_view subsystem,
                                std::string_view devtype = {});

// The value of `key` in a device directory's uevent file; empty when absent.
std::string UeventValue(const std::string& dir, std::string_view key);
// Where the link `dir`/`name` leads, resolved by its text alone (sysfs links are relative links
// between real directories, so no component needs a look-up); empty when it is no link.
std::string ResolveLink(const std::string& dir, const std::string& name);
// The device directories a class or bus list (/sys/class/block, /sys/bus/usb/devices) links to,
// in path order (the order udev lists them in).
std::vector<std::string> ListedDevices(const std::string& listDir);
// The nearest ancestor that is a device (has a uevent file); empty when none.
std::string ParentDevice(const std::string& dir);
// The udev database record of any device (block and character devices by their numbers,
// others by "+subsystem:name"); empty when there is none.
std::string UdevRecordOfDevice(const std::string& dir, const std::string& subsystem);
// True when udev has written the device's record: it has run its rules on the device.
bool HasUdevRecord(const std::string& dir, const std::string& subsystem);
// STORAGE_BUS_TYPE of a disk.
std::uint32_t BusTypeOfDisk(const std::string& blockDir);

struct DiskIdentity {
    std::uint32_t busType = bustype::kUnknown;
    std::string vendor, product, revision, serial;
    bool removable = false;
    bool commandQueueing = false;
    std::uint8_t scsiType = 0;
};
// Identity strings of a disk from sysfs: SCSI INQUIRY strings and VPD pages (the ATA IDENTIFY
// strings where libata exposes them), NVMe controller and MMC card attributes, the USB device's
// serial number. Non-printable bytes are dropped and the texts trimmed.
DiskIdentity IdentifyDisk(const std::string& blockDir);

// Completes an identity from the udev database record of the disk (the text of
// /run/udev/data/b<major>:<minor>, written while the udev daemon runs): the serial number when
// sysfs had none, and the model where sysfs holds a cut-off version of it (the 16 characters of a
// SCSI product field).
void MergeUdevRecord(std::string_view record, DiskIdentity& id);
// The value of property `key` ("E:key=value" lines) of a udev database record; empty when absent.
std::string UdevProperty(std::string_view record, std::string_view key);
// The udev database record of a block device; empty when there is none.
std::string UdevRecordOf(const std::string& blockDir);

// The SCSI address of a disk on a SCSI host; kNotSupported for disks that have none.
ErrorCode ScsiAddressOf(const std::string& blockDir, ScsiAddress& out);

// STORAGE_HOTPLUG_INFO: Size 8, MediaRemovable, MediaHotplug, DeviceHotplug, and a zero
// WriteCacheEnableOverride.
void HotplugInfoOf(const std::string& blockDir, std::uint8_t (&info)[8]);

// PCI Express generation of a sysfs link speed ("8.0 GT/s PCIe"); 0 when not known.
std::uint8_t PcieGeneration(std::string_view speed);
// The link of a PCI device from max_link_speed, max_link_width, current_link_speed and
// current_link_width; kNotFound when one is missing, kInvalidData when one does not parse.
ErrorCode ReadPciLink(const std::string& pciDir, PciLinkInfo& out);

} // namespace tvd::linuxsys
