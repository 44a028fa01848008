#include "storage/fsrecognizeutil.h"

#include <cstring>

namespace tvd {

namespace {

bool TextAt(ByteView b, std::size_t off, const char (&text)[9]) {
    return InBounds(b.size(), off, bootsector::kTextLength) &&
           std::memcmp(b.data() + off, text, bootsector::kTextLength) == 0;
}

// Data clusters: (total − overhead) ÷ SecPerClus, 0 when the divisor is zero or the overhead
// does not fit in the total.
std::uint64_t ClusterCount(ByteView bs, std::uint64_t total, std::uint64_t fatSectors,
                           bool withRoot) {
    const std::uint8_t secPerClus = Le<std::uint8_t>(bs, bootsector::kSecPerClus);
    const std::uint16_t bytsPerSec = Le<std::uint16_t>(bs, bootsector::kBytsPerSec);
    if (secPerClus == 0 || bytsPerSec == 0) return 0;
    const std::uint64_t rootBytes =
        withRoot ? std::uint64_t(Le<std::uint16_t>(bs, bootsector::kRootEntCnt)) * 32 : 0;
    const std::uint64_t rootSectors = (rootBytes + bytsPerSec - 1) / bytsPerSec;
    const std::uint64_t overhead = Le<std::uint16_t>(bs, bootsector::kRsvdSecCnt) +
                                   Le<std::uint8_t>(bs, bootsector::kNumFats) * fatSectors +
                                   rootSectors;
    if (total <= overhead) return 0;
    return (total - overhead) / secPerClus;
}

} // namespace

const char* FileSystemKindName(std::uint8_t kind) {
    switch (kind) {
    case fskind::kNone:
        return "none";
    case fskind::kFat12:
        return "FAT12";
    case fskind::kFat16:
        return "FAT16";
    case fskind::kNtfs:
        return "NTFS";
    case fskind::kFat32:
        return "FAT32";
    case fskind::kExfat:
        return "exFAT";
    default:
        return "other";
    }
}

bool IsBitLockerBootSector(ByteView sector) {
    return TextAt(sector, bootsector::kOemName, "-FVE-FS-");
}

std::uint8_t RecognizeFileSystem(ByteView bs) {
    if (bs.size() < bootsector::kSize) return fskind::kNone;
    if (bs[bootsector::kSignature] != 0x55 || bs[bootsector::kSignature + 1] != 0xAA)
        return fskind::kNone;
    if (TextAt(bs, bootsector::kFat16Type, "FAT16   ")) return fskind::kFat16;
    if (TextAt(bs, bootsector::kFat16Type, "FAT12   ")) return fskind::kFat12;
    if (TextAt(bs, bootsector::kFat32Type, "FAT32   "))
        return IsBitLockerBootSector(bs) ? fskind::kOther : fskind::kFat32;
    if (TextAt(bs, bootsector::kOemName, "NTFS    ")) return fskind::kNtfs;
    if (TextAt(bs, bootsector::kOemName, "EXFAT   ")) return fskind::kExfat;
    return fskind::kOther;
}

std::uint32_t FatTotalSectors(ByteView bs) {
    const std::uint32_t total32 = Le<std::uint32_t>(bs, bootsector::kTotSec32);
    return total32 != 0 ? total32 : Le<std::uint16_t>(bs, bootsector::kTotSec16);
}

bool SetFatTotalSectors(MutableByteView bs, std::uint32_t count) {
    if (!InBounds(bs.size(), bootsector::kTotSec32, 4)) return false;
    const bool big = count > 0xFFFF;
    StoreLe<std::uint16_t>(bs, bootsector::kTotSec16, big ? 0 : std::uint16_t(count));
    StoreLe<std::uint32_t>(bs, bootsector::kTotSec32, big ? count : 0);
    return true;
}

std::uint64_t FatClusterCount(ByteView bs) {
    return ClusterCount(bs, FatTotalSectors(bs), Le<std::uint16_t>(bs, bootsector::kFatSz16), true);
}

std::uint64_t Fat32ClusterCount(ByteView bs) {
    return ClusterCount(bs, Le<std::uint32_t>(bs, bootsector::kTotSec32),
                        Le<std::uint32_t>(bs, bootsector::kFatSz32), false);
}

} // namespace tvd
