// A storage back end that passes everything to another one and writes each SCSI and NVMe
// command it carries, with the answer, to a stream: the command blocks can then be set beside
// what other tools send to the same drive.
#pragma once
#include <cstdio>

#include "storage/storageplatform.h"

namespace tvd::cli {

class TraceStorage : public StoragePlatform {
public:
    // Neither is owned; a null `log` traces nothing.
    TraceStorage(StoragePlatform& inner, std::FILE* log) : inner_(inner), log_(log) {}

    const char* Name() const override { return inner_.Name(); }
    ErrorCode EnumerateClass(DeviceClass cls, std::vector<PresentDevice>& devices) override;
    std::uint32_t ParentOf(std::uint32_t devInst) override;
    ErrorCode GetProperty(std::uint32_t devInst, DeviceProperty prop, std::string& value) override;
    std::uint32_t LogicalDrives() override;
    std::uint32_t DriveType(char letter) override;
    ErrorCode DriveDisplayName(char letter, std::string& name) override;
    std::vector<std::string> MountPoints(const std::string& volumePath) override;
    ErrorCode VolumeSpace(const std::u16string& root, std::uint64_t& total,
                          std::uint64_t& free) override;
    ErrorCode UsbHostControllerDriverKey(std::uint32_t index, std::string& driverKey) override;
    ErrorCode RegisterNotifications(void* window, DeviceClass cls, void*& token) override;
    void UnregisterNotifications(void* token) override;
    void PollEvents(std::vector<DeviceEvent>& events) override;
    ErrorCode Open(const std::string& path, DeviceHandle& handle) override;
    ErrorCode OpenLetter(char letter, DeviceHandle& handle) override;
    ErrorCode OpenForQuery(const std::string& path, DeviceHandle& handle) override;
    bool AdmitsExtraBus(std::uint32_t busType) override;
    const char* BusName(std::uint32_t busType) override;
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
    ErrorCode CreateGptLayout(DeviceHandle& h, const DriveLayout& layout) override;
    ErrorCode FlushBuffers(DeviceHandle& h) override;
    ErrorCode TrimRange(DeviceHandle& h, std::uint64_t offset, std::uint64_t length) override;
    ErrorCode OpenRead(const std::string& path, DeviceHandle& handle) override;
    ErrorCode OpenForClone(const std::string& path, CloneOpenMode mode,
                           DeviceHandle& handle) override;
    ErrorCode QueryCloneFacts(const std::string& path, CloneDiskFacts& facts) override;
    ErrorCode GetPciLink(std::uint32_t controllerDevInst, PciLinkInfo& out) override;
    std::uint32_t ControllerOf(std::uint32_t diskDevInst) override;
    ErrorCode ScsiCommand(DeviceHandle& h, ScsiCommandRequest& request) override;
    ErrorCode NvmeCommand(DeviceHandle& h, NvmeCommandRequest& request) override;
    ErrorCode IoControl(DeviceHandle& h, std::uint32_t code, ByteView in, MutableByteView out,
                        std::uint32_t& returned) override;
    ErrorCode ReadAt(DeviceHandle& h, std::uint64_t offset, MutableByteView data) override;
    ErrorCode WriteAt(DeviceHandle& h, std::uint64_t offset, ByteView data) override;

private:
    StoragePlatform& inner_;
    std::FILE* log_;
};

// Puts a TraceStorage over the back end in use for its lifetime, then selects that one again.
class ScopedTrace {
public:
    explicit ScopedTrace(std::FILE* log);
    ScopedTrace(const ScopedTrace&) = delete;
    ScopedTrace& operator=(const ScopedTrace&) = delete;
    ~ScopedTrace();

private:
    StoragePlatform& previous_;
    TraceStorage trace_;
};

} // namespace tvd::cli
