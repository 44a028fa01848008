// The report's block per physical disk: what the storage queries and the command interfaces
// answered, gathered into one record through the storage back end (Windows, Linux or the
// simulated drives), then written. The writer reads only the record, so crafted records test it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/errorcodes.h"
#include "report/infowriteutil.h"
#include "smart/smartattrsutil.h"
#include "storage/storageplatform.h"
#include "storage/storagetypes.h"

namespace tvd {

class clDisk;
class DeviceRegistry;

// One device node as the device class block lists it.
struct NodeFacts {
    std::uint32_t devInst = 0;
    std::optional<std::string> friendlyName, description, instanceId, driver;
    std::vector<std::uint32_t> parents; // parent chain up to the root
    // Filter lists: none when the platform has no such thing.
    std::optional<std::vector<std::string>> upperFilters, lowerFilters;
};

struct NvmeNamespaceFacts {
    std::uint32_t nsid = 0;
    std::vector<std::uint8_t> data; // IDENTIFY NAMESPACE; empty when it failed
};

struct DiskFacts {
    std::int64_t number = -1;
    bool systemDisk = false;
    std::string letters; // " Drives": letters or, without letters, mount points
    NodeFacts node;
    ErrorCode openError = err::kSuccess;

    ErrorCode descriptorError = err::kNotSupported;
    StorageDeviceDescriptor descriptor;
    ErrorCode adapterError = err::kNotSupported;
    std::vector<std::uint8_t> adapter;
    ErrorCode trimError = err::kNotSupported;
    bool trimEnabled = false;
    ErrorCode temperatureError = err::kNotSupported;
    std::vector<TemperatureInfo> temperatures;
    ErrorCode numberError = err::kNotSupported;
    StorageDeviceNumber deviceNumber;
    ErrorCode geometryError = err::kNotSupported;
    DiskGeometry geometry;
    ErrorCode hotplugError = err::kNotSupported;
    std::uint8_t hotplug[8] = {};
    ErrorCode addressError = err::kNotSupported;
    ScsiAddress address;
    ErrorCode lengthError = err::kNotSupported;
    std::uint64_t length = 0;
    bool writable = false;
    ErrorCode layoutError = err::kNotSupported;
    DriveLayout layout;

    bool bridgeKnown = false;
    std::uint16_t bridgeVendorId = 0, bridgeProductId = 0;

    bool hasScsi = false;
    std::vector<std::uint8_t> inquiry; // empty: INQUIRY gave nothing usable
    bool capacity10 = false, capacity16 = false, capacityOk = false;
    std::uint64_t lastLba = 0;
    std::uint32_t blockLength = 0;

    bool hasAta = false;
    std::vector<std::uint8_t> identify; // empty: IDENTIFY DEVICE failed

    bool hasNvme = false;
    std::optional<PciLinkInfo> link;
    std::vector<std::uint8_t> controller; // empty: IDENTIFY CONTROLLER failed
    bool namespaceListOk = false;
    std::vector<NvmeNamespaceFacts> namespaces;

    ErrorCode sdError = err::kNotSupported;
    std::uint8_t sdProtocol[16] = {};

    bool hasSmart = false;
    bool smartIsAta = false;
    int temperature = -1000;
    std::int64_t hostWritesGb = -1;
    std::optional<std::uint32_t> vendorId;
    std::vector<SmartAttribute> attributes;
};

// Namespace ids taken from the active list at most, and LBA formats shown at most.
inline constexpr std::size_t kReportMaxNamespaces = 1024;
inline constexpr std::size_t kReportMaxLbaFormats = 16;

// Opens a disk or volume for the report's queries without write access where the back end
// allows it (Storage().OpenRead), else as Storage().OpenForQuery does.
ErrorCode OpenReadOnly(const std::string& path, DeviceHandle& handle);
// Gathers everything about one disk; opens devices for reading only.
DiskFacts GatherDiskFacts(DeviceRegistry& registry, clDisk* disk, const clDisk* systemDisk);

// The device line alone, as the device class block lists it.
bool WriteDeviceLine(ReportWriter& w, const NodeFacts& node);
// The device line " [%08X] = [..][..][..][..]", the parent chain and the node's filters.
bool WriteNodeLines(ReportWriter& w, const NodeFacts& node);
bool WriteDiskBlock(ReportWriter& w, const DiskFacts& d);
// The storage property block alone (also used for volumes).
bool WriteStorageProperties(ReportWriter& w, const DiskFacts& d);
// The STORAGE_DEVICE_NUMBER, DISK_GEOMETRY and STORAGE_HOTPLUG_INFO blocks (disks, volumes).
bool WriteNumberGeometryHotplug(ReportWriter& w, const DiskFacts& d);
// "%s, %C:" joined letters of a mask (bit 0 = 'A').
std::string LetterListText(std::uint32_t mask);

} // namespace tvd
