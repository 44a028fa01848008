// The simulated storage back end: drives described by "NAME.drive" files in a folder, their
// sectors in image files beside them (docs/simulated-drives.md). Drives come and go like real
// devices: PollEvents reads the folder again and reports arrivals and removals, and Plug/Unplug
// do the same for a drive whose file stays. Device-instance handles and device numbers belong to
// a drive name for the life of the back end, so a re-plugged drive is known again.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "storage/sim/simdrivespec.h"
#include "storage/storageplatform.h"

namespace tvd {

struct SimRange {
    std::uint64_t offset = 0, length = 0; // bytes on the drive
    bool operator==(const SimRange&) const = default;
};

// A drive file the simulation does not use, and why.
struct SimProblem {
    std::string name; // the drive file's name without ".drive"; empty for the folder itself
    ErrorCode error = err::kSuccess;
    std::string message;
    std::size_t line = 0; // the line of the refused key; 0 when the reason has no line
};

// What the back end may do to image files. kPrepare makes a missing image and extends a short
// one when its drive arrives; kReadOnly never creates, grows or writes an image (for commands
// that only read: a missing image reads as zeros and the table its Layout= key describes).
enum class SimImages { kPrepare, kReadOnly };

class SimStorage final : public StoragePlatform {
public:
    // Null with `error` set when the folder cannot be read.
    static std::unique_ptr<SimStorage> Create(const std::string& folder, ErrorCode& error,
                                              SimImages images = SimImages::kPrepare);
    ~SimStorage() override;

    const std::string& Folder() const;
    // Present drives, in name order.
    std::vector<std::string> DriveNames() const;
    std::vector<SimProblem> Problems() const;
    // Unplug: the drive leaves as if pulled; its file stays and is ignored until Plug, which
    // reads it again. The events wait for the next PollEvents. kFileNotFound for a drive that
    // is not present (Unplug) or has no usable file (Plug).
    ErrorCode Plug(const std::string& name);
    ErrorCode Unplug(const std::string& name);
    // A power cycle of a present drive that stays present: its ATA security keeps the passwords
    // set since it arrived (see SimAta::PowerCycle). kFileNotFound for a drive not present,
    // kNotSupported for one without an ATA personality.
    ErrorCode PowerCycle(const std::string& name);
    // The ranges trimmed on a present drive since it arrived, in request order.
    std::vector<SimRange> TrimmedRanges(const std::string& name) const;
    // The description of a present drive, or of the drive an open handle belongs to; null when
    // there is none. The command-set layers read their sections from it.
    std::shared_ptr<const SimDriveSpec> DriveSpec(const std::string& name) const;
    std::shared_ptr<const SimDriveSpec> HandleSpec(const DeviceHandle& h) const;

    const char* Name() const override { return "sim"; }

    ErrorCode EnumerateClass(DeviceClass cls, std::vector<PresentDevice>& devices) override;
    std::uint32_t ParentOf(std::uint32_t devInst) override;
    ErrorCode GetProperty(std::uint32_t devInst, DeviceProperty prop, std::string& value) override;
    // Letters come from the drives' Letters= keys, for partitions the image's table has; of two
    // drives naming the same letter, the first in name order keeps it.
    std::uint32_t LogicalDrives() override;
    std::uint32_t DriveType(char letter) override;
    ErrorCode DriveDisplayName(char letter, std::string& name) override;
    // Lettered volumes only ("X:" or "X:\\"): the partition's length and its Free= figure.
    ErrorCode VolumeSpace(const std::u16string& root, std::uint64_t& total,
                          std::uint64_t& free) override;
    std::vector<std::string> MountPoints(const std::string&) override { return {}; }
    ErrorCode UsbHostControllerDriverKey(std::uint32_t index, std::string& driverKey) override;

    ErrorCode RegisterNotifications(void* window, DeviceClass cls, void*& token) override;
    void UnregisterNotifications(void* token) override;
    void PollEvents(std::vector<DeviceEvent>& events) override;

    ErrorCode Open(const std::string& path, DeviceHandle& handle) override;
    ErrorCode OpenRead(const std::string& path, DeviceHandle& handle) override;
    ErrorCode OpenLetter(char letter, DeviceHandle& handle) override;

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
    ErrorCode TrimRange(DeviceHandle& h, std::uint64_t offset, std::uint64_t length) override;
    ErrorCode GetPciLink(std::uint32_t controllerDevInst, PciLinkInfo& out) override;
    std::uint32_t ControllerOf(std::uint32_t diskDevInst) override;

    // The drive's personalities (docs/simulated-drives.md): SCSI for every drive, NVMe admin
    // commands for NVMe drives (50 otherwise), the Windows storage requests of the ATA and NVMe
    // personalities (1 for a request none of them answers).
    ErrorCode ScsiCommand(DeviceHandle& h, ScsiCommandRequest& request) override;
    ErrorCode NvmeCommand(DeviceHandle& h, NvmeCommandRequest& request) override;
    ErrorCode IoControl(DeviceHandle& h, std::uint32_t code, ByteView in, MutableByteView out,
                        std::uint32_t& returned) override;

    // The clone's open: a target on a drive marked MountedVolume=1 is refused with 32 (as the
    // exclusive open of a busy disk); the facts come from SystemDisk= and MountedVolume=.
    ErrorCode OpenForClone(const std::string& path, CloneOpenMode mode,
                           DeviceHandle& handle) override;
    ErrorCode QueryCloneFacts(const std::string& path, CloneDiskFacts& facts) override;

    ErrorCode ReadAt(DeviceHandle& h, std::uint64_t offset, MutableByteView data) override;
    ErrorCode WriteAt(DeviceHandle& h, std::uint64_t offset, ByteView data) override;

    struct Impl;

private:
    SimStorage();
    ErrorCode OpenAs(const std::string& path, DeviceHandle& handle, bool write);
    std::unique_ptr<Impl> impl_;
};

// Windows error numbers the simulation answers.
namespace simerr {
inline constexpr ErrorCode kWriteProtect = err::kWriteProtect;
inline constexpr ErrorCode kCrc = err::kCrc; // an unreadable sector
inline constexpr ErrorCode kDeviceNotConnected = err::kDeviceNotConnected;
} // namespace simerr

} // namespace tvd
