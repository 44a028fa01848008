// Which file system a volume's first sector holds, and the values derived from a FAT boot
// sector. The sector is drive data: every field is read through the bounded helpers and a
// sector that does not make sense gives "none" (kind 0, or 0 clusters), never a trap.
#pragma once
#include <cstddef>
#include <cstdint>

#include "foundation/bytesutil.h"

namespace tvd {

// File-system kinds: the values of the MBR partition types they resemble.
namespace fskind {
inline constexpr std::uint8_t kNone = 0; // no boot signature (or fewer than 512 bytes)
inline constexpr std::uint8_t kFat12 = 1;
inline constexpr std::uint8_t kFat16 = 6;
inline constexpr std::uint8_t kNtfs = 7;
inline constexpr std::uint8_t kFat32 = 12;
inline constexpr std::uint8_t kExfat = 13;
inline constexpr std::uint8_t kOther = 255; // signed, not recognised (also BitLocker)
} // namespace fskind

inline bool IsFatKind(std::uint8_t kind) {
    return kind == fskind::kFat12 || kind == fskind::kFat16 || kind == fskind::kFat32;
}
// A short name of a kind for logs and notes ("FAT32", "none", ...).
const char* FileSystemKindName(std::uint8_t kind);

// FAT boot sector (BPB) fields, little-endian.
namespace bootsector {
inline constexpr std::size_t kJump = 0;
inline constexpr std::size_t kOemName = 3; // 8 bytes
inline constexpr std::size_t kBytsPerSec = 11;
inline constexpr std::size_t kSecPerClus = 13;
inline constexpr std::size_t kRsvdSecCnt = 14;
inline constexpr std::size_t kNumFats = 16;
inline constexpr std::size_t kRootEntCnt = 17;
inline constexpr std::size_t kTotSec16 = 19;
inline constexpr std::size_t kMedia = 21;
inline constexpr std::size_t kFatSz16 = 22;
inline constexpr std::size_t kHiddSec = 28;
inline constexpr std::size_t kTotSec32 = 32;
inline constexpr std::size_t kFatSz32 = 36;
inline constexpr std::size_t kRootClus = 44;
inline constexpr std::size_t kFsInfo = 48;
inline constexpr std::size_t kBkBootSec = 50;
inline constexpr std::size_t kFat16Label = 43; // 11 bytes
inline constexpr std::size_t kFat16Type = 54;  // 8 bytes
inline constexpr std::size_t kFat32Label = 71; // 11 bytes
inline constexpr std::size_t kFat32Type = 82;  // 8 bytes
inline constexpr std::size_t kSignature = 510; // 0x55, 0xAA
inline constexpr std::size_t kSize = 512;
inline constexpr std::size_t kTextLength = 8;
static_assert(kOemName + kTextLength == kBytsPerSec);
static_assert(kBytsPerSec + 2 == kSecPerClus && kSecPerClus + 1 == kRsvdSecCnt);
static_assert(kRsvdSecCnt + 2 == kNumFats && kNumFats + 1 == kRootEntCnt);
static_assert(kRootEntCnt + 2 == kTotSec16 && kTotSec16 + 2 == kMedia && kMedia + 1 == kFatSz16);
static_assert(kTotSec32 + 4 == kFatSz32 && kFatSz32 + 8 == kRootClus);
static_assert(kFat16Label + 11 == kFat16Type && kFat32Label + 11 == kFat32Type);
static_assert(kFat32Type + kTextLength <= kSignature && kSignature + 2 == kSize);
} // namespace bootsector

// "-FVE-FS-" at the OEM name: a BitLocker volume (the kernel's system-volume test shares it).
inline constexpr char kBitLockerOemName[] = "-FVE-FS-";
bool IsBitLockerBootSector(ByteView sector);

// The kind of the boot sector; fewer than 512 bytes, or no 55 AA at 510, is kind 0.
std::uint8_t RecognizeFileSystem(ByteView bootSector);

// TotSec32 when non-zero, else TotSec16 (0 for a sector too short to hold them).
std::uint32_t FatTotalSectors(ByteView bootSector);
// A count above 0xFFFF goes to TotSec32 with TotSec16 = 0, otherwise to TotSec16 with
// TotSec32 = 0. False when the sector is too short.
bool SetFatTotalSectors(MutableByteView bootSector, std::uint32_t count);

// Data clusters of a FAT12/16 (FatClusterCount) or FAT32 (Fat32ClusterCount) boot sector. A
// sector whose sizes are zero, or whose total lies below the areas before the data, has 0.
std::uint64_t FatClusterCount(ByteView bootSector);
std::uint64_t Fat32ClusterCount(ByteView bootSector);

} // namespace tvd
