#include "report/infowritefilesystemutil.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "storage/fsrecognizeutil.h"

namespace tvd {

namespace {

template <class... A> std::string Format(const char* format, A... args) {
    char buffer[160];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    return n < 0 ? std::string() : std::string(buffer, std::min<std::size_t>(n, sizeof buffer - 1));
}

// NTFS record sizes: a positive byte counts clusters, a negative one means 2^|n| bytes.
std::int64_t NtfsRecordBytes(std::int8_t value, std::uint64_t clusterBytes) {
    if (value < 0) return -value < 63 ? std::int64_t(1) << -value : 0;
    return static_cast<std::int64_t>(clusterBytes * static_cast<std::uint64_t>(value));
}

// NTFS keeps clusters above 64 KiB as a negative exponent in the same byte.
std::uint64_t NtfsSectorsPerCluster(std::uint8_t value) {
    if (value <= 0x80) return value;
    const int shift = 256 - value;
    return shift < 32 ? std::uint64_t(1) << shift : 0;
}

bool Common(ReportWriter& w, ByteView s, std::uint64_t sectorsPerCluster) {
    const std::uint16_t bps = Le<std::uint16_t>(s, bootsector::kBytsPerSec);
    return w.Line(Format("  Bytes Per Sector = [%u]", bps)) &&
           w.Line(Format("  Sectors Per Cluster = [%" PRIu64 "] (%" PRIu64 " Bytes)",
                         sectorsPerCluster, sectorsPerCluster * bps)) &&
           w.Line(Format("  Reserved Sectors = [%u]",
                         Le<std::uint16_t>(s, bootsector::kRsvdSecCnt))) &&
           w.Line(Format("  Hidden Sectors = [%u]", Le<std::uint32_t>(s, bootsector::kHiddSec)));
}

} // namespace

bool BootSectorSizeValid(std::uint32_t n) {
    return n >= 512 && n <= 4096 && (n & (n - 1)) == 0;
}

bool WriteFileSystemBlock(ReportWriter& w, ByteView s) {
    const std::uint8_t kind = RecognizeFileSystem(s);
    if (kind == fskind::kNone) {
        const bool blank = std::all_of(s.begin(), s.end(), [](std::uint8_t b) { return b == 0; });
        return w.Line(blank ? " NOT formatted" : " Unknown File System");
    }
    const std::uint8_t spc = Le<std::uint8_t>(s, bootsector::kSecPerClus);
    switch (kind) {
    case fskind::kFat12:
    case fskind::kFat16:
        return w.Line(kind == fskind::kFat12 ? " FAT12 File System :" : " FAT16 File System :") &&
               Common(w, s, spc) && w.Line(Format("  Total Sectors = [%u]", FatTotalSectors(s))) &&
               w.Line(Format("  Sectors Per Fat = [%u]",
                             Le<std::uint16_t>(s, bootsector::kFatSz16))) &&
               w.Line(Format("  RootEntCount = [%u]",
                             Le<std::uint16_t>(s, bootsector::kRootEntCnt))) &&
               w.Line(Format("  Total Clusters = [%" PRIu64 "]", FatClusterCount(s)));
    case fskind::kFat32:
        return w.Line(" FAT32 File System :") && Common(w, s, spc) &&
               w.Line(Format("  Total Sectors = [%u]", FatTotalSectors(s))) &&
               w.Line(Format("  Sectors Per Fat = [%u]",
                             Le<std::uint32_t>(s, bootsector::kFatSz32))) &&
               w.Line(Format("  RootDir = [%u]", Le<std::uint32_t>(s, bootsector::kRootClus))) &&
               w.Line(
                   Format("  BootBackup = [%u]", Le<std::uint16_t>(s, bootsector::kBkBootSec))) &&
               w.Line(Format("  Total Clusters = [%" PRIu64 "]", Fat32ClusterCount(s)));
    case fskind::kNtfs: {
        const std::uint64_t sectorsPerCluster = NtfsSectorsPerCluster(spc);
        const std::uint64_t clusterBytes =
            sectorsPerCluster * Le<std::uint16_t>(s, bootsector::kBytsPerSec);
        const std::uint64_t total = Le<std::uint64_t>(s, 40);
        const auto mft = static_cast<std::int8_t>(Le<std::uint8_t>(s, 64));
        const auto index = static_cast<std::int8_t>(Le<std::uint8_t>(s, 68));
        return w.Line(" NTFS File System :") && Common(w, s, sectorsPerCluster) &&
               w.Line(Format("  Total Sectors = [%" PRIu64 "]", total)) &&
               w.Line(Format("  Start Mft Cluster = [%" PRIu64 "]", Le<std::uint64_t>(s, 48))) &&
               w.Line(Format("  Start Mft Mirror Cluster = [%" PRIu64 "]",
                             Le<std::uint64_t>(s, 56))) &&
               w.Line(Format("  ClusterPerMft = [%i] (%" PRId64 " Bytes)", mft,
                             NtfsRecordBytes(mft, clusterBytes))) &&
               w.Line(Format("  ClusterPerIndex = [%i] (%" PRId64 " Bytes)", index,
                             NtfsRecordBytes(index, clusterBytes))) &&
               w.Line(Format("  Total Clusters = [%" PRIu64 "]",
                             sectorsPerCluster ? total / sectorsPerCluster : 0));
    }
    case fskind::kExfat: {
        const std::uint8_t bpsShift = Le<std::uint8_t>(s, 108), spcShift = Le<std::uint8_t>(s, 109);
        // Shifts beyond the format's limits (sectors up to 4 KiB, clusters up to 32 MiB) are
        // shown, but no size is derived from them.
        const bool sane = bpsShift >= 9 && bpsShift <= 12 && bpsShift + spcShift <= 25;
        const std::uint64_t bps = sane ? std::uint64_t(1) << bpsShift : 0;
        const std::uint64_t spcCount = sane ? std::uint64_t(1) << spcShift : 0;
        const std::uint16_t revision = Le<std::uint16_t>(s, 104);
        const std::uint32_t heap = Le<std::uint32_t>(s, 88), root = Le<std::uint32_t>(s, 96);
        const std::uint64_t rootSector = root >= 2 ? heap + (root - 2ull) * spcCount : 0;
        return w.Line(" exFAT File System :") &&
               w.Line(Format("  File System Revision = [%u.%u]", revision >> 8, revision & 0xFF)) &&
               w.Line(Format("  Bytes Per Sector = [%" PRIu64 "]", bps)) &&
               w.Line(Format("  Sectors Per Cluster = [%" PRIu64 "] (%" PRIu64 " Bytes)", spcCount,
                             spcCount * bps)) &&
               w.Line(Format("  Volume Flags = [0x%4X]", Le<std::uint16_t>(s, 106))) &&
               w.Line(Format("  Hidden Sectors = [%" PRId64 "]",
                             static_cast<std::int64_t>(Le<std::uint64_t>(s, 64)))) &&
               w.Line(Format("  Total Sectors = [%" PRId64 "]",
                             static_cast<std::int64_t>(Le<std::uint64_t>(s, 72)))) &&
               w.Line(Format("  Cluster Count = [%u]", Le<std::uint32_t>(s, 92))) &&
               w.Line(Format("  Cluster Heap = [%u]", heap)) &&
               w.Line(Format("  FAT Sector No = [%u]", Le<std::uint32_t>(s, 80))) &&
               w.Line(Format("  Sectors Per FAT = [%u]", Le<std::uint32_t>(s, 84))) &&
               w.Line(Format("  Number Of Fats = [%u]", Le<std::uint8_t>(s, 110))) &&
               w.Line(Format("  RootDir = [%u] (Sector %" PRIu64 ")", root, rootSector)) &&
               w.Line(Format("  Percent In Use = [%u]", Le<std::uint8_t>(s, 112)));
    }
    default:
        return w.Line(" Unknown File System");
    }
}

} // namespace tvd
