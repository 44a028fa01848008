// Values and answers of the storage queries, the same on every platform. Numbers follow the
// Windows definitions (STORAGE_BUS_TYPE, FILE_DEVICE_*, media types) so that stored data, reports
// and tables mean the same everywhere.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tvd {

namespace devtype {
inline constexpr std::uint16_t kDrive = 1;
inline constexpr std::uint16_t kDisk = 2;
inline constexpr std::uint16_t kUsb = 5;
inline constexpr std::uint16_t kVolume = 8;
} // namespace devtype

namespace devstate {
inline constexpr std::uint16_t kNew = 1;
inline constexpr std::uint16_t kChanged = 2;
inline constexpr std::uint16_t kCurrent = 3;
inline constexpr std::uint16_t kRemoved = 4;
} // namespace devstate

// STORAGE_BUS_TYPE.
namespace bustype {
inline constexpr std::uint32_t kUnknown = 0;
inline constexpr std::uint32_t kScsi = 1;
inline constexpr std::uint32_t kAtapi = 2;
inline constexpr std::uint32_t kAta = 3;
inline constexpr std::uint32_t k1394 = 4;
inline constexpr std::uint32_t kSsa = 5;
inline constexpr std::uint32_t kFibre = 6;
inline constexpr std::uint32_t kUsb = 7;
inline constexpr std::uint32_t kRaid = 8;
inline constexpr std::uint32_t kIscsi = 9;
inline constexpr std::uint32_t kSas = 10;
inline constexpr std::uint32_t kSata = 11;
inline constexpr std::uint32_t kSd = 12;
inline constexpr std::uint32_t kMmc = 13;
inline constexpr std::uint32_t kVirtual = 14;
inline constexpr std::uint32_t kFileBackedVirtual = 15;
inline constexpr std::uint32_t kSpaces = 16;
inline constexpr std::uint32_t kNvme = 17;
} // namespace bustype

// FILE_DEVICE_* device types of the device-number answer.
namespace filedevice {
inline constexpr std::uint32_t kCdRom = 0x02;
inline constexpr std::uint32_t kDisk = 0x07;
inline constexpr std::uint32_t kDvd = 0x33;
} // namespace filedevice

// Drive types of GetDriveType.
namespace drivetype {
inline constexpr std::uint32_t kUnknown = 0;
inline constexpr std::uint32_t kNoRootDir = 1;
inline constexpr std::uint32_t kRemovable = 2;
inline constexpr std::uint32_t kFixed = 3;
inline constexpr std::uint32_t kRemote = 4;
inline constexpr std::uint32_t kCdRom = 5;
inline constexpr std::uint32_t kRamDisk = 6;
} // namespace drivetype

struct StorageDeviceNumber {
    std::uint32_t deviceType = 0;
    std::int64_t deviceNumber = -1; // full width: never truncated
    std::uint32_t partitionNumber = 0;
};

// The decoded storage device descriptor (StorageDeviceProperty).
struct StorageDeviceDescriptor {
    std::uint8_t deviceType = 0; // SCSI peripheral device type
    bool removableMedia = false;
    bool commandQueueing = false;
    std::uint32_t busType = bustype::kUnknown;
    std::string vendor, product, revision, serial;
    std::vector<std::uint8_t> raw; // the whole answer, for the report
};

struct DiskGeometry {
    std::int64_t cylinders = 0;
    std::uint32_t mediaType = 0;
    std::uint32_t tracksPerCylinder = 0;
    std::uint32_t sectorsPerTrack = 0;
    std::uint32_t bytesPerSector = 0;
};

struct ScsiAddress {
    std::uint8_t portNumber = 0, pathId = 0, targetId = 0, lun = 0;
};

struct DiskExtent {
    std::int64_t diskNumber = -1;
    std::uint64_t startingOffset = 0; // bytes
    std::uint64_t length = 0;         // bytes
};

struct TemperatureInfo {
    std::uint16_t index = 0;
    std::int16_t temperature = 0; // °C
    std::int16_t overThreshold = 0, underThreshold = 0;
    bool overThresholdChangable = false, underThresholdChangable = false;
    bool eventGenerated = false;
};

struct PciLinkInfo {
    std::uint8_t maxSpeed = 0, maxWidth = 0, currentSpeed = 0, currentWidth = 0;
};

// One partition of a drive layout (PARTITION_INFORMATION_EX, decoded).
struct PartitionEntry {
    std::uint32_t style = 0; // 0 MBR, 1 GPT, 2 RAW
    std::uint64_t startingOffset = 0, length = 0;
    std::uint32_t number = 0;
    bool rewrite = false;
    // MBR
    std::uint8_t mbrType = 0;
    bool bootIndicator = false, recognized = false;
    std::uint32_t hiddenSectors = 0;
    // GPT
    std::uint8_t gptType[16] = {}, gptId[16] = {};
    std::uint64_t gptAttributes = 0;
    std::u16string gptName;
};

struct DriveLayout {
    std::uint32_t style = 2; // 0 MBR, 1 GPT, 2 RAW
    std::uint32_t mbrSignature = 0;
    std::uint8_t gptDiskId[16] = {};
    std::uint64_t gptStartingUsableOffset = 0, gptUsableLength = 0;
    std::uint32_t gptMaxPartitionCount = 0;
    std::vector<PartitionEntry> partitions;
};

// Names for the report; "Unknown" outside the tables.
const char* BusTypeName(std::uint32_t busType);
const char* DeviceTypeName(std::uint32_t fileDeviceType);

} // namespace tvd
