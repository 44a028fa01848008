// The small FAT routines the report and the clone engines share: 12-, 16- and 32-bit table
// entries, the table's initial entries, cluster chains as run lists, 32-byte directory entries
// (short and long names, first cluster, "." and "..", the volume label) and the FAT32 FSInfo
// sector. Everything here reads volume data: lengths are always given, a chain that leaves the
// table or loops is broken, a name set that runs past the data has no name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/zoltbufferutil.h"

namespace tvd {

enum class FatVariant : std::uint8_t { k12, k16, k32 };

// The variant of a file-system kind (1, 6, 12); false for other kinds.
bool FatVariantOfKind(std::uint8_t kind, FatVariant& variant);
// The smallest end-of-chain value: 0xFF8, 0xFFF8, 0x0FFFFFF8.
std::uint32_t FatEndOfChain(FatVariant variant);

// Table entries. Entry n of a FAT12 lies at byte n × 3 / 2 (odd n: the high 12 of the 16 bits
// there, even n: the low 12); FAT32 entries carry their value in the low 28 bits. An entry
// outside the table gives false.
bool GetFat12Entry(ByteView table, std::uint32_t n, std::uint32_t& value);
bool SetFat12Entry(MutableByteView table, std::uint32_t n, std::uint32_t value);
bool GetFatEntry(FatVariant variant, ByteView table, std::uint32_t n, std::uint32_t& value);
// FAT32: the top 4 bits of the stored entry are kept.
bool SetFatEntry(FatVariant variant, MutableByteView table, std::uint32_t n, std::uint32_t value);

// Entries 0 and 1: FAT12 bytes F8 FF FF, FAT16 FFF8 FFFF, FAT32 0FFFFFF8 FFFFFFFF (the check
// of FAT32 looks at bits 3-27 of entry 0 and the low 28 bits of entry 1).
bool SetFatInitialEntries(FatVariant variant, MutableByteView table);
bool HasFatInitialEntries(FatVariant variant, ByteView table);

// Run list: a header of 20 bytes, then 16 bytes per run.
namespace runlist {
inline constexpr std::size_t kRunCount = 0;      // 32-bit
inline constexpr std::size_t kTotalClusters = 4; // 64-bit
inline constexpr std::size_t kBytes = 12;        // 64-bit
inline constexpr std::size_t kHeaderSize = 20;
inline constexpr std::size_t kRunSize = 16;
inline constexpr std::size_t kRunClusters = 0; // 64-bit, within a run
inline constexpr std::size_t kRunFirst = 8;    // 64-bit, within a run
static_assert(kTotalClusters + 8 == kBytes && kBytes + 8 == kHeaderSize);
static_assert(kRunFirst + 8 == kRunSize);
} // namespace runlist

struct FatRun {
    std::uint64_t clusters = 0, first = 0;
    bool operator==(const FatRun&) const = default;
};
std::uint32_t RunListCount(ByteView list);
std::uint64_t RunListClusters(ByteView list);
std::uint64_t RunListBytes(ByteView list);
// Run i; false when the list does not hold it.
bool RunListRun(ByteView list, std::uint32_t i, FatRun& run);

// The chain from `first` through `table` as a run list. `highest` is the highest cluster number
// of the volume. 0 with no list when `first` is 0; 13 when the chain is broken (it reaches 0 or
// 1, a cluster above `highest` or outside the table, or takes more steps than there are
// clusters, so it loops); 1450 when the list cannot be allocated or would not fit a block.
ErrorCode LoadFatChain(FatVariant variant, ByteView table, std::uint32_t highest,
                       std::uint32_t first, ByteBlock& out);
// The same, storing clusters × clusterSize as the bytes; a cluster size of 0 gives no list (87).
ErrorCode LoadFatChain(FatVariant variant, ByteView table, std::uint32_t highest,
                       std::uint32_t first, std::uint32_t clusterSize, ByteBlock& out);
// For a file: no list (13) when the chain holds fewer clusters than the size needs, else the
// list with the file size as the bytes. A cluster size of 0 gives no list (87).
ErrorCode LoadFatChain(FatVariant variant, ByteView table, std::uint32_t highest,
                       std::uint32_t first, std::uint64_t fileSize, std::uint32_t clusterSize,
                       ByteBlock& out);

// 32-byte directory entries.
namespace direntry {
inline constexpr std::size_t kName = 0; // 8 bytes
inline constexpr std::size_t kExt = 8;  // 3 bytes
inline constexpr std::size_t kAttributes = 11;
inline constexpr std::size_t kCaseFlags = 12;
inline constexpr std::size_t kClusterHigh = 20;
inline constexpr std::size_t kClusterLow = 26;
inline constexpr std::size_t kFileSize = 28;
inline constexpr std::size_t kSize = 32;
// Long-name entries.
inline constexpr std::size_t kSequence = 0;
inline constexpr std::size_t kUnits1 = 1;  // 5 units
inline constexpr std::size_t kUnits2 = 14; // 6 units
inline constexpr std::size_t kUnits3 = 28; // 2 units
inline constexpr std::size_t kUnitsPerEntry = 13;
inline constexpr std::uint8_t kLongNameAttributes = 0x0F;
inline constexpr std::uint8_t kLabelAttributes = 0x08;
inline constexpr std::uint8_t kDirectoryAttribute = 0x10;
inline constexpr std::uint8_t kLastLongEntry = 0x40;
inline constexpr std::uint8_t kSequenceMask = 0x3F;
inline constexpr std::uint8_t kLowerBase = 0x08;
inline constexpr std::uint8_t kLowerExt = 0x10;
inline constexpr std::uint8_t kFreeMark = 0xE5;
static_assert(kName + 8 == kExt && kExt + 3 == kAttributes);
static_assert(kClusterLow + 2 == kFileSize && kFileSize + 4 == kSize);
static_assert(kUnits1 + 10 == kAttributes && kUnits2 + 12 == kClusterLow);
static_assert(kUnits3 + 4 == kSize && 5 + 6 + 2 == kUnitsPerEntry);
} // namespace direntry

// The routines take the directory data from the entry on (`rest`): what lies beyond it bounds
// every look further on.
bool IsFreeEntry(ByteView rest);
bool IsItemEntry(ByteView rest);
// The sequence number of a long-name entry, 0 for any other entry.
std::uint32_t LongNameCount(ByteView rest);
// The short entry of an item (LongNameCount entries further on); empty when it lies past the
// data.
ByteView ShortEntryOf(ByteView rest);
MutableByteView ShortEntryOf(MutableByteView rest);
std::uint8_t EntryAttributes(ByteView rest);
std::uint32_t EntryFileSize(ByteView rest);
std::uint32_t EntryFirstCluster(ByteView rest);
bool SetFirstCluster(MutableByteView rest, std::uint32_t cluster);
// (LongNameCount + 1) × 32 for an item, 32 for any other entry; 0 when fewer bytes remain.
std::uint32_t DirEntryLength(ByteView rest);

// The 8.3 name of a short entry ("readme.txt" with the case bits), NUL-terminated in `out`;
// its length, or 0 when it does not fit with its terminator.
std::size_t ShortName(ByteView rest, std::span<char> out);
// The name of a long-name set starting at `rest` (sequence numbers 1, 2, 3 ... from the entry
// before the short one back to the first, which carries bit 6), NUL-terminated; 0 for anything
// else, for a set running past the data, or a name that does not fit.
std::size_t LongName(ByteView rest, std::span<char16_t> out);
// LongName for an entry that starts a long-name set, else ShortName widened.
std::size_t DirEntryName(ByteView rest, std::span<char16_t> out);

// Gives ".." the parent's cluster and "." the own cluster in a directory's data.
void SetDotEntries(MutableByteView dir, std::uint32_t parentCluster, std::uint32_t ownCluster);
// Writes a volume-label entry: the 11 label bytes, trailing NULs or blanks as blanks,
// attributes 08h. Returns the number of that padding (0 also when the entry is too short).
std::uint32_t MakeLabelEntry(MutableByteView entry, std::string_view label11);
// Byte offset of the first label entry (attributes exactly 08h), free entries and whole
// long-name sets skipped; −1 when there is none.
std::int64_t FindLabelEntry(ByteView dir);

// FSInfo: lead and structure signatures, free count and next free "unknown", 55 AA. The caller
// zero-fills the sector; false when it holds fewer than 512 bytes.
bool InitFsInfoSector(MutableByteView sector);

} // namespace tvd
