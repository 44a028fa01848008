// The partition-table reader: MBR with the EBR chains of its extended partitions, protective MBR
// plus GPT (primary header first, the backup at the disk's last sector when the primary is bad).
// It reads through a callback, so that devices, image files and simulated drives share it, and
// it trusts nothing it reads: every count, size and link is bounded, and a table it cannot make
// sense of gives a RAW layout, never a crash or a read outside the disk.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/storagetypes.h"

namespace tvd {

// Reads data.size() bytes at a byte offset; 0 or an error number.
using SectorReadFn = std::function<ErrorCode(std::uint64_t offset, MutableByteView data)>;

// MBR and EBR sector: signature at 440, four 16-byte slots from 446, 55h AAh at 510.
namespace mbrsector {
inline constexpr std::size_t kSize = 512;
inline constexpr std::size_t kDiskSignature = 440;
inline constexpr std::size_t kSlots = 446;
inline constexpr std::size_t kSlotSize = 16;
inline constexpr std::size_t kBootMark = 510;
// Within a slot.
inline constexpr std::size_t kBootIndicator = 0;
inline constexpr std::size_t kChsFirst = 1;
inline constexpr std::size_t kType = 4;
inline constexpr std::size_t kChsLast = 5;
inline constexpr std::size_t kFirstLba = 8;
inline constexpr std::size_t kSectorCount = 12;
inline constexpr std::uint8_t kProtectiveType = 0xEE;
static_assert(kSlots + 4 * kSlotSize == kBootMark);
} // namespace mbrsector

// GPT header (at LBA 1 and the disk's last LBA) and its entries.
namespace gptsector {
inline constexpr std::uint64_t kSignature = 0x5452415020494645ull; // "EFI PART"
inline constexpr std::size_t kSignatureOff = 0;
inline constexpr std::size_t kRevision = 8;
inline constexpr std::size_t kHeaderSize = 12;
inline constexpr std::size_t kHeaderCrc = 16;
inline constexpr std::size_t kCurrentLba = 24;
inline constexpr std::size_t kBackupLba = 32;
inline constexpr std::size_t kFirstUsable = 40;
inline constexpr std::size_t kLastUsable = 48;
inline constexpr std::size_t kDiskGuid = 56;
inline constexpr std::size_t kEntryLba = 72;
inline constexpr std::size_t kEntryCount = 80;
inline constexpr std::size_t kEntrySize = 84;
inline constexpr std::size_t kEntryArrayCrc = 88;
inline constexpr std::uint32_t kMinHeaderSize = 92;
static_assert(kEntryArrayCrc + 4 == kMinHeaderSize);
// Within an entry.
inline constexpr std::size_t kTypeGuid = 0;
inline constexpr std::size_t kUniqueGuid = 16;
inline constexpr std::size_t kFirstLba = 32;
inline constexpr std::size_t kLastLba = 40;
inline constexpr std::size_t kAttributes = 48;
inline constexpr std::size_t kName = 56;
inline constexpr std::size_t kNameUnits = 36;
inline constexpr std::uint32_t kMinEntrySize = 128;
static_assert(kName + 2 * kNameUnits == kMinEntrySize);
} // namespace gptsector

namespace layoutstyle {
inline constexpr std::uint32_t kMbr = 0;
inline constexpr std::uint32_t kGpt = 1;
inline constexpr std::uint32_t kRaw = 2;
} // namespace layoutstyle

// Logical partitions followed through all EBR chains of a disk before reading stops.
inline constexpr std::uint32_t kMaxLogicalPartitions = 128;
// GPT entry arrays beyond these bounds are refused as damaged.
inline constexpr std::uint32_t kMaxGptEntries = 16384;
inline constexpr std::uint32_t kMaxGptEntryArrayBytes = 2u << 20;

// One GPT header as stored (UEFI layout), after its signature, size and CRC were checked.
struct GptHeader {
    std::uint32_t revision = 0, headerSize = 0;
    std::uint64_t currentLba = 0, backupLba = 0, firstUsableLba = 0, lastUsableLba = 0;
    std::uint8_t diskGuid[16] = {};
    std::uint64_t entryLba = 0;
    std::uint32_t entryCount = 0, entrySize = 0, entryArrayCrc = 0;
};

// Decodes a header sector: "EFI PART", a header size from 92 bytes to the sector's size, and the
// header CRC over that size with the CRC field taken as zero. False when any of it fails.
bool DecodeGptHeader(ByteView sector, GptHeader& out);

// Extended-partition container types (CHS 05h, LBA 0Fh, Linux 85h).
bool IsExtendedMbrType(std::uint8_t type);

// Reads the table of a disk of `diskBytes` bytes (0 when not known: the backup GPT header cannot
// be located then) with logical sectors of `sectorSize` bytes (a power of two, 512 to 4096).
//
// MBR layouts have the shape Windows gives them: the four slots of the MBR, then four entries
// per EBR, empty slots (length 0) and containers (number 0, not recognized) included. Partition
// numbers are the on-disk positions: primaries 1-4 by slot, logical partitions 5 onward in chain
// order; GPT partitions their entry index + 1. These are the numbers Linux gives the partition
// device nodes. GPT layouts list the used entries only.
//
// An unreadable sector gives its error and leaves `out` RAW; a table that is absent or not
// consistent gives success and a RAW layout. A protective MBR whose GPT headers are both damaged
// reads as the MBR it is (one 0xEE partition), as Linux shows it.
ErrorCode ReadDriveLayout(const SectorReadFn& read, std::uint32_t sectorSize,
                          std::uint64_t diskBytes, DriveLayout& out);

// The partition of a layout that starts at `offset` (not a container, not an empty slot); null
// when there is none.
const PartitionEntry* FindLayoutPartition(const DriveLayout& layout, std::uint64_t offset);

} // namespace tvd
