// The Windows storage back end: SetupDi and the configuration manager for enumeration,
// device-interface notifications for a window, and DeviceIoControl for the storage requests.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/win32/winhandle.h"
#include "storage/storageplatform.h"

namespace tvd {

namespace win {

// The interface or setup class GUID of a device class; false for a value outside the enum.
bool ClassGuid(DeviceClass cls, GUID& guid);
// The setup class of storage controllers, whose PCI link the back end reads.
inline constexpr GUID kScsiAdapterClass = {
    0x4D36E97B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// The handle behind a device opened by this back end; INVALID_HANDLE_VALUE for a closed handle
// or one of another back end. For the command layers that send their own requests.
HANDLE NativeHandle(const DeviceHandle& handle);

} // namespace win

class WinStoragePlatform final : public StoragePlatform {
public:
    const char* Name() const override { return "win32"; }

    ErrorCode EnumerateClass(DeviceClass cls, std::vector<PresentDevice>& devices) override;
    std::uint32_t ParentOf(std::uint32_t devInst) override;
    ErrorCode GetProperty(std::uint32_t devInst, DeviceProperty prop, std::string& value) override;
    std::uint32_t LogicalDrives() override;
    std::uint32_t DriveType(char letter) override;
    ErrorCode VolumeSpace(const std::u16string& root, std::uint64_t& total,
                          std::uint64_t& free) override;
    ErrorCode DriveDisplayName(char letter, std::string& name) override;
    std::vector<std::string> MountPoints(const std::string&) override { return {}; }
    ErrorCode UsbHostControllerDriverKey(std::uint32_t index, std::string& driverKey) override;

    ErrorCode RegisterNotifications(void* window, DeviceClass cls, void*& token) override;
    void UnregisterNotifications(void* token) override;
    void PollEvents(std::vector<DeviceEvent>&) override {} // events come as window messages

    ErrorCode Open(const std::string& path, DeviceHandle& handle) override;
    ErrorCode OpenLetter(char letter, DeviceHandle& handle) override;
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
    ErrorCode CreateGptLayout(DeviceHandle& h, const DriveLayout& layout) override;
    ErrorCode FlushBuffers(DeviceHandle& h) override;
    ErrorCode TrimRange(DeviceHandle& h, std::uint64_t offset, std::uint64_t length) override;
    ErrorCode GetPciLink(std::uint32_t controllerDevInst, PciLinkInfo& out) override;
    std::uint32_t ControllerOf(std::uint32_t diskDevInst) override;

    ErrorCode ScsiCommand(DeviceHandle& h, ScsiCommandRequest& request) override;
    ErrorCode IoControl(DeviceHandle& h, std::uint32_t code, ByteView in, MutableByteView out,
                        std::uint32_t& returned) override;

    ErrorCode ReadAt(DeviceHandle& h, std::uint64_t offset, MutableByteView data) override;
    ErrorCode WriteAt(DeviceHandle& h, std::uint64_t offset, ByteView data) override;
};

} // namespace tvd
