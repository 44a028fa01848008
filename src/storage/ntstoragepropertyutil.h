// Byte layouts of the Windows storage requests and answers, as offset tables, with bounded
// decoders and encoders over plain bytes. The Windows back end sends and receives these
// buffers; keeping the layouts here lets every platform test them. Offsets are those of both
// the x86-64 and the i686 ABI (the 64-bit fields are 8-aligned on both); the Windows back end
// checks them against the system headers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/storagetypes.h"

namespace tvd {

// STORAGE_PROPERTY_QUERY: PropertyId, QueryType, AdditionalParameters[1] (padded).
namespace propquery {
inline constexpr std::size_t kPropertyId = 0, kQueryType = 4, kAdditional = 8, kSize = 12;
inline constexpr std::uint32_t kStandardQuery = 0;
inline constexpr std::uint32_t kDeviceProperty = 0;
inline constexpr std::uint32_t kAdapterProperty = 1;
inline constexpr std::uint32_t kTrimProperty = 8;
inline constexpr std::uint32_t kTemperatureProperty = 52;
} // namespace propquery

// STORAGE_DESCRIPTOR_HEADER, which every property answer starts with.
namespace propheader {
inline constexpr std::size_t kVersion = 0, kSize = 4, kHeaderSize = 8;
// Variable-size answers larger than this are refused as inconsistent.
inline constexpr std::uint32_t kMaxAnswer = 64 * 1024;
} // namespace propheader

// STORAGE_DEVICE_DESCRIPTOR.
namespace devdesc {
inline constexpr std::size_t kVersion = 0, kSize = 4, kDeviceType = 8, kDeviceTypeModifier = 9,
                             kRemovableMedia = 10, kCommandQueueing = 11, kVendorIdOffset = 12,
                             kProductIdOffset = 16, kProductRevisionOffset = 20,
                             kSerialNumberOffset = 24, kBusType = 28, kRawPropertiesLength = 32,
                             kRawDeviceProperties = 36;
// The fixed part, before the raw properties.
inline constexpr std::size_t kHeaderSize = kRawDeviceProperties;
} // namespace devdesc

// DEVICE_TRIM_DESCRIPTOR.
namespace trimdesc {
inline constexpr std::size_t kTrimEnabled = 8, kSize = 12;
}

// STORAGE_TEMPERATURE_DATA_DESCRIPTOR and its STORAGE_TEMPERATURE_INFO entries.
namespace tempdesc {
inline constexpr std::size_t kCriticalTemperature = 8, kWarningTemperature = 10, kInfoCount = 12,
                             kInfo = 24, kHeaderSize = kInfo;
inline constexpr std::size_t kInfoIndex = 0, kInfoTemperature = 2, kInfoOverThreshold = 4,
                             kInfoUnderThreshold = 6, kInfoOverChangable = 8,
                             kInfoUnderChangable = 9, kInfoEventGenerated = 10, kInfoSize = 16;
} // namespace tempdesc

// STORAGE_DEVICE_NUMBER.
namespace devnumber {
inline constexpr std::size_t kDeviceType = 0, kDeviceNumber = 4, kPartitionNumber = 8, kSize = 12;
}

// SCSI_ADDRESS.
namespace scsiaddr {
inline constexpr std::size_t kLength = 0, kPortNumber = 4, kPathId = 5, kTargetId = 6, kLun = 7,
                             kSize = 8;
}

// DISK_GEOMETRY.
namespace geometry {
inline constexpr std::size_t kCylinders = 0, kMediaType = 8, kTracksPerCylinder = 12,
                             kSectorsPerTrack = 16, kBytesPerSector = 20, kSize = 24;
}

// GET_LENGTH_INFORMATION.
namespace lengthinfo {
inline constexpr std::size_t kLength = 0, kSize = 8;
}

// VOLUME_DISK_EXTENTS with its DISK_EXTENT entries.
namespace extents {
inline constexpr std::size_t kCount = 0, kExtents = 8, kSize = 32; // with one extent
inline constexpr std::size_t kDiskNumber = 0, kStartingOffset = 8, kExtentLength = 16,
                             kExtentSize = 24;
// A volume spread over more disks than this is refused as inconsistent.
inline constexpr std::uint32_t kMaxExtents = 1024;
} // namespace extents

// PARTITION_INFORMATION_EX.
namespace partex {
inline constexpr std::size_t kStyle = 0, kStartingOffset = 8, kLength = 16, kNumber = 24,
                             kRewrite = 28, kUnion = 32, kSize = 144;
// MBR part of the union.
inline constexpr std::size_t kMbrType = 32, kMbrBootIndicator = 33, kMbrRecognized = 34,
                             kMbrHiddenSectors = 36;
// GPT part of the union.
inline constexpr std::size_t kGptType = 32, kGptId = 48, kGptAttributes = 64, kGptName = 72,
                             kGptNameChars = 36;
static_assert(kGptName + 2 * kGptNameChars == kSize);
} // namespace partex

// DRIVE_LAYOUT_INFORMATION_EX.
namespace layoutex {
inline constexpr std::size_t kStyle = 0, kCount = 4, kMbrSignature = 8, kGptDiskId = 8,
                             kGptStartingUsableOffset = 24, kGptUsableLength = 32,
                             kGptMaxPartitionCount = 40, kEntries = 48;
// Entries requested first and added per retry, and the most ever asked for.
inline constexpr std::uint32_t kInitialEntries = 4, kGrowth = 4, kMaxEntries = 256;
} // namespace layoutex

namespace partstyle {
inline constexpr std::uint32_t kMbr = 0, kGpt = 1, kRaw = 2;
}

// CREATE_DISK: the style, then the MBR signature or the GPT disk GUID and entry count.
namespace createdisk {
inline constexpr std::size_t kStyle = 0, kMbrSignature = 4, kGptDiskId = 4,
                             kGptMaxPartitionCount = 20, kSize = 24;
}

// DEVICE_MANAGE_DATA_SET_ATTRIBUTES for a trim of one range, with the range behind it.
namespace dsmtrim {
inline constexpr std::size_t kSizeField = 0, kAction = 4, kFlags = 8, kParameterBlockOffset = 12,
                             kParameterBlockLength = 16, kRangesOffset = 20, kRangesLength = 24,
                             kHeaderSize = 28, kRange = 32, kRangeStart = 32, kRangeLength = 40,
                             kRangeSize = 16, kSize = 48;
inline constexpr std::uint32_t kActionTrim = 1;
inline constexpr std::uint32_t kFlagTrimNotFsAllocated = 0x80000000u;
static_assert(kRange + kRangeSize == kSize);
} // namespace dsmtrim

// ---- requests

std::vector<std::uint8_t> EncodePropertyQuery(std::uint32_t propertyId,
                                              std::uint32_t queryType = propquery::kStandardQuery);
std::vector<std::uint8_t> EncodeTrimRange(std::uint64_t offset, std::uint64_t length);
std::vector<std::uint8_t> EncodeCreateDiskMbr(std::uint32_t signature);
std::vector<std::uint8_t> EncodeCreateDiskGpt(const std::uint8_t (&diskId)[16],
                                              std::uint32_t maxPartitionCount);
// DRIVE_LAYOUT_INFORMATION_EX for IOCTL_DISK_SET_DRIVE_LAYOUT_EX: every entry is written in the
// layout's style. An MBR layout is padded with unused entries to a multiple of four (the system
// reads it as groups of four: the MBR's slots, then one group per extended boot record).
// kInvalidParameter for a style other than MBR or GPT, more than layoutex::kMaxEntries entries
// or a GPT name longer than its 36 characters.
ErrorCode EncodeSetDriveLayoutEx(const DriveLayout& layout, std::vector<std::uint8_t>& out);

// ---- answer sizes

// The Size of a property answer's header, for the second read of a variable-size property;
// kInvalidData when it is below the header or above propheader::kMaxAnswer.
ErrorCode PropertyAnswerSize(ByteView header, std::uint32_t& size);
// Bytes to request for `count` extents (after a first answer of kMoreData); 0 when the count is
// 0 or above extents::kMaxExtents.
std::size_t VolumeExtentsRequestSize(std::uint32_t count);
// Bytes of a layout answer with room for `entries` partitions.
std::size_t DriveLayoutRequestSize(std::uint32_t entries);
// Entries to ask for after an answer too small for `entries`; 0 once the cap is reached.
std::uint32_t NextDriveLayoutEntries(std::uint32_t entries);

// ---- answers. Each reads `answer` (the bytes the request returned) only within its bounds;
// kInvalidData when the answer is inconsistent.

// Strings are taken only when their offset is non-zero and lies below both Size and the
// returned length, and their NUL lies inside that too; others are left empty.
ErrorCode DecodeDeviceDescriptor(ByteView answer, StorageDeviceDescriptor& out);
ErrorCode DecodeTrimDescriptor(ByteView answer, bool& trimEnabled);
// The entry count is clipped so that every entry lies within Size and the returned length.
ErrorCode DecodeTemperatureDescriptor(ByteView answer, std::vector<TemperatureInfo>& out);
// A device number of 0xFFFFFFFF (none) reads as -1; others keep their full width.
ErrorCode DecodeDeviceNumber(ByteView answer, StorageDeviceNumber& out);
ErrorCode DecodeScsiAddress(ByteView answer, ScsiAddress& out);
ErrorCode DecodeDiskGeometry(ByteView answer, DiskGeometry& out);
ErrorCode DecodeLengthInfo(ByteView answer, std::uint64_t& bytes);
// kMoreData when the count is consistent but not all extents were returned.
ErrorCode DecodeVolumeDiskExtents(ByteView answer, std::vector<DiskExtent>& out);
// One PARTITION_INFORMATION_EX (the partition-info answer, or one layout entry).
ErrorCode DecodePartitionInfoEx(ByteView entry, PartitionEntry& out);
ErrorCode DecodeDriveLayoutEx(ByteView answer, DriveLayout& out);

} // namespace tvd
