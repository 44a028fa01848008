#include "storage/fatutil.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "storage/fsrecognizeutil.h"

namespace tvd {

namespace {

constexpr std::uint32_t kFat32Mask = 0x0FFFFFFF;

// Walks the chain from `first`, handing each cluster and its successor to `visit`. Stops at the
// end-of-chain value with success; anything else that ends the walk is a broken chain.
template <class Visit>
ErrorCode WalkChain(FatVariant v, ByteView table, std::uint32_t highest, std::uint32_t first,
                    Visit&& visit) {
    const std::uint32_t eoc = FatEndOfChain(v);
    // Clusters are numbered from 2 and each has one entry in the table: a chain of more steps
    // than there are clusters (or entries) revisits one, so it loops.
    const std::uint64_t entries = v == FatVariant::k12   ? std::uint64_t(table.size()) * 2 / 3
                                  : v == FatVariant::k16 ? table.size() / 2
                                                         : table.size() / 4;
    const std::uint64_t maxSteps =
        std::min<std::uint64_t>(highest >= 2 ? std::uint64_t(highest) - 1 : 0, entries);
    std::uint64_t steps = 0;
    std::uint32_t c = first;
    while (c > 1) {
        if (c >= eoc) return err::kSuccess;
        if (c > highest || ++steps > maxSteps) return err::kInvalidData;
        std::uint32_t next = 0;
        if (!GetFatEntry(v, table, c, next)) return err::kInvalidData;
        visit(c, next);
        c = next;
    }
    return err::kInvalidData;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool IsLongNameEntry(ByteView e) {
    return e.size() >= direntry::kSize && !IsFreeEntry(e) &&
           e[direntry::kAttributes] == direntry::kLongNameAttributes;
}

} // namespace

bool FatVariantOfKind(std::uint8_t kind, FatVariant& variant) {
    switch (kind) {
    case fskind::kFat12:
        variant = FatVariant::k12;
        return true;
    case fskind::kFat16:
        variant = FatVariant::k16;
        return true;
    case fskind::kFat32:
        variant = FatVariant::k32;
        return true;
    default:
        return false;
    }
}

std::uint32_t FatEndOfChain(FatVariant variant) {
    switch (variant) {
    case FatVariant::k12:
        return 0xFF8;
    case FatVariant::k16:
        return 0xFFF8;
    default:
        return 0x0FFFFFF8;
    }
}

bool GetFat12Entry(ByteView table, std::uint32_t n, std::uint32_t& value) {
    std::uint16_t v;
    if (!LoadLe(table, std::size_t(n) * 3 / 2, v)) return false;
    value = (n & 1) ? (v >> 4) : (v & 0x0FFF);
    return true;
}

bool SetFat12Entry(MutableByteView table, std::uint32_t n, std::uint32_t value) {
    const std::size_t off = std::size_t(n) * 3 / 2;
    std::uint16_t v;
    if (!LoadLe(ByteView(table), off, v)) return false;
    value &= 0x0FFF;
    v = (n & 1) ? std::uint16_t((v & 0x000F) | (value << 4)) : std::uint16_t((v & 0xF000) | value);
    return StoreLe(table, off, v);
}

bool GetFatEntry(FatVariant variant, ByteView table, std::uint32_t n, std::uint32_t& value) {
    switch (variant) {
    case FatVariant::k12:
        return GetFat12Entry(table, n, value);
    case FatVariant::k16: {
        std::uint16_t v;
        if (!LoadLe(table, std::size_t(n) * 2, v)) return false;
        value = v;
        return true;
    }
    default: {
        std::uint32_t v;
        if (!LoadLe(table, std::size_t(n) * 4, v)) return false;
        value = v & kFat32Mask;
        return true;
    }
    }
}

bool SetFatEntry(FatVariant variant, MutableByteView table, std::uint32_t n, std::uint32_t value) {
    switch (variant) {
    case FatVariant::k12:
        return SetFat12Entry(table, n, value);
    case FatVariant::k16:
        return StoreLe(table, std::size_t(n) * 2, std::uint16_t(value));
    default: {
        std::uint32_t old;
        if (!LoadLe(ByteView(table), std::size_t(n) * 4, old)) return false;
        return StoreLe(table, std::size_t(n) * 4, (old & ~kFat32Mask) | (value & kFat32Mask));
    }
    }
}

bool SetFatInitialEntries(FatVariant variant, MutableByteView table) {
    switch (variant) {
    case FatVariant::k12:
        if (table.size() < 3) return false;
        table[0] = 0xF8;
        table[1] = 0xFF;
        table[2] = 0xFF;
        return true;
    case FatVariant::k16:
        return StoreLe<std::uint16_t>(table, 0, 0xFFF8) && StoreLe<std::uint16_t>(table, 2, 0xFFFF);
    default:
        return StoreLe<std::uint32_t>(table, 0, 0x0FFFFFF8) &&
               StoreLe<std::uint32_t>(table, 4, 0xFFFFFFFF);
    }
}

bool HasFatInitialEntries(FatVariant variant, ByteView table) {
    switch (variant) {
    case FatVariant::k12:
        return table.size() >= 3 && table[0] == 0xF8 && table[1] == 0xFF && table[2] == 0xFF;
    case FatVariant::k16:
        return Le<std::uint16_t>(table, 0) == 0xFFF8 && Le<std::uint16_t>(table, 2) == 0xFFFF;
    default: {
        std::uint32_t e0, e1;
        if (!LoadLe(table, 0, e0) || !LoadLe(table, 4, e1)) return false;
        return (e0 & 0x0FFFFFF8) == 0x0FFFFFF8 && (e1 & kFat32Mask) == kFat32Mask;
    }
    }
}

std::uint32_t RunListCount(ByteView list) {
    return Le<std::uint32_t>(list, runlist::kRunCount);
}

std::uint64_t RunListClusters(ByteView list) {
    return Le<std::uint64_t>(list, runlist::kTotalClusters);
}

std::uint64_t RunListBytes(ByteView list) {
    return Le<std::uint64_t>(list, runlist::kBytes);
}

bool RunListRun(ByteView list, std::uint32_t i, FatRun& run) {
    if (i >= RunListCount(list)) return false;
    const std::size_t off = runlist::kHeaderSize + std::size_t(i) * runlist::kRunSize;
    return LoadLe(list, off + runlist::kRunClusters, run.clusters) &&
           LoadLe(list, off + runlist::kRunFirst, run.first);
}

ErrorCode LoadFatChain(FatVariant variant, ByteView table, std::uint32_t highest,
                       std::uint32_t first, ByteBlock& out) {
    ByteBlockFree(out);
    if (first == 0) return err::kSuccess;

    // First pass: count the runs.
    std::uint64_t runs = 0, clusters = 0;
    bool continues = false;
    ErrorCode e = WalkChain(variant, table, highest, first, [&](std::uint32_t c, std::uint32_t n) {
        if (!continues) ++runs;
        ++clusters;
        continues = n == c + 1;
    });
    if (e != err::kSuccess) return e;

    const std::uint64_t bytes = runlist::kHeaderSize + runs * runlist::kRunSize;
    if (bytes > std::numeric_limits<std::uint32_t>::max()) return err::kNoSystemResources;
    if (!ByteBlockAlloc(out, std::uint32_t(bytes))) return err::kNoSystemResources;

    // Second pass: fill them.
    MutableByteView list = out.Span();
    std::uint64_t run = 0, inRun = 0;
    continues = false;
    e = WalkChain(variant, table, highest, first, [&](std::uint32_t c, std::uint32_t n) {
        const std::size_t off = runlist::kHeaderSize + std::size_t(run) * runlist::kRunSize;
        if (!continues) {
            inRun = 0;
            StoreLe<std::uint64_t>(list, off + runlist::kRunFirst, c);
        }
        StoreLe<std::uint64_t>(list, off + runlist::kRunClusters, ++inRun);
        continues = n == c + 1;
        if (!continues) ++run;
    });
    if (e != err::kSuccess) {
        ByteBlockFree(out);
        return e;
    }
    StoreLe<std::uint32_t>(list, runlist::kRunCount, std::uint32_t(runs));
    StoreLe<std::uint64_t>(list, runlist::kTotalClusters, clusters);
    return err::kSuccess;
}

ErrorCode LoadFatChain(FatVariant variant, ByteView table, std::uint32_t highest,
                       std::uint32_t first, std::uint32_t clusterSize, ByteBlock& out) {
    ByteBlockFree(out);
    if (clusterSize == 0) return err::kInvalidParameter;
    const ErrorCode e = LoadFatChain(variant, table, highest, first, out);
    if (e != err::kSuccess || !out.data) return e;
    StoreLe<std::uint64_t>(out.Span(), runlist::kBytes, RunListClusters(out.View()) * clusterSize);
    return err::kSuccess;
}

ErrorCode LoadFatChain(FatVariant variant, ByteView table, std::uint32_t highest,
                       std::uint32_t first, std::uint64_t fileSize, std::uint32_t clusterSize,
                       ByteBlock& out) {
    ByteBlockFree(out);
    if (clusterSize == 0) return err::kInvalidParameter;
    const ErrorCode e = LoadFatChain(variant, table, highest, first, out);
    if (e != err::kSuccess) return e;
    const std::uint64_t needed = fileSize / clusterSize + (fileSize % clusterSize != 0);
    if (RunListClusters(out.View()) < needed) {
        ByteBlockFree(out);
        return err::kInvalidData;
    }
    if (out.data) StoreLe<std::uint64_t>(out.Span(), runlist::kBytes, fileSize);
    return err::kSuccess;
}

bool IsFreeEntry(ByteView rest) {
    if (rest.empty()) return true;
    return rest[0] == 0 || rest[0] == direntry::kFreeMark;
}

bool IsItemEntry(ByteView rest) {
    return rest.size() >= direntry::kSize && !IsFreeEntry(rest) &&
           rest[direntry::kAttributes] != direntry::kLabelAttributes;
}

std::uint32_t LongNameCount(ByteView rest) {
    return IsLongNameEntry(rest) ? (rest[direntry::kSequence] & direntry::kSequenceMask) : 0;
}

ByteView ShortEntryOf(ByteView rest) {
    const std::size_t off = std::size_t(LongNameCount(rest)) * direntry::kSize;
    if (!InBounds(rest.size(), off, direntry::kSize)) return {};
    return rest.subspan(off, direntry::kSize);
}

MutableByteView ShortEntryOf(MutableByteView rest) {
    const ByteView e = ShortEntryOf(ByteView(rest));
    if (e.empty()) return {};
    return rest.subspan(std::size_t(e.data() - rest.data()), direntry::kSize);
}

std::uint8_t EntryAttributes(ByteView rest) {
    return Le<std::uint8_t>(ShortEntryOf(rest), direntry::kAttributes);
}

std::uint32_t EntryFileSize(ByteView rest) {
    return Le<std::uint32_t>(ShortEntryOf(rest), direntry::kFileSize);
}

std::uint32_t EntryFirstCluster(ByteView rest) {
    const ByteView e = ShortEntryOf(rest);
    return (std::uint32_t(Le<std::uint16_t>(e, direntry::kClusterHigh)) << 16) |
           Le<std::uint16_t>(e, direntry::kClusterLow);
}

bool SetFirstCluster(MutableByteView rest, std::uint32_t cluster) {
    const MutableByteView e = ShortEntryOf(rest);
    return !e.empty() && StoreLe(e, direntry::kClusterHigh, std::uint16_t(cluster >> 16)) &&
           StoreLe(e, direntry::kClusterLow, std::uint16_t(cluster));
}

std::uint32_t DirEntryLength(ByteView rest) {
    const std::uint64_t len = IsItemEntry(rest)
                                  ? (std::uint64_t(LongNameCount(rest)) + 1) * direntry::kSize
                                  : direntry::kSize;
    return len <= rest.size() ? std::uint32_t(len) : 0;
}

std::size_t ShortName(ByteView rest, std::span<char> out) {
    if (rest.size() < direntry::kSize) return 0;
    char name[13];
    std::size_t n = 0;
    const std::uint8_t flags = rest[direntry::kCaseFlags];
    for (std::size_t i = 0; i < 8; ++i) {
        const char c = char(rest[direntry::kName + i]);
        if (c == 0 || c == ' ') break;
        name[n++] = (flags & direntry::kLowerBase) ? LowerAscii(c) : c;
    }
    const std::size_t dot = n;
    name[n++] = '.';
    for (std::size_t i = 0; i < 3; ++i) {
        const char c = char(rest[direntry::kExt + i]);
        if (c == 0 || c == ' ') break;
        name[n++] = (flags & direntry::kLowerExt) ? LowerAscii(c) : c;
    }
    if (n == dot + 1) n = dot;
    if (out.size() < n + 1) return 0;
    std::memcpy(out.data(), name, n);
    out[n] = 0;
    return n;
}

std::size_t LongName(ByteView rest, std::span<char16_t> out) {
    const std::uint32_t count = LongNameCount(rest);
    if (count == 0 || !(rest[direntry::kSequence] & direntry::kLastLongEntry)) return 0;
    if ((std::uint64_t(count) + 1) * direntry::kSize > rest.size()) return 0;
    static constexpr std::size_t kUnitOffsets[direntry::kUnitsPerEntry] = {
        1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    std::size_t n = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        const ByteView e =
            rest.subspan(std::size_t(count - 1 - k) * direntry::kSize, direntry::kSize);
        if (!IsLongNameEntry(e) || (e[direntry::kSequence] & direntry::kSequenceMask) != k + 1)
            return 0;
        for (std::size_t off : kUnitOffsets) {
            const char16_t u = char16_t(Le<std::uint16_t>(e, off));
            if (u == 0) {
                if (out.size() < n + 1) return 0;
                out[n] = 0;
                return n;
            }
            if (out.size() < n + 2) return 0;
            out[n++] = u;
        }
    }
    if (out.size() < n + 1) return 0;
    out[n] = 0;
    return n;
}

std::size_t DirEntryName(ByteView rest, std::span<char16_t> out) {
    if (LongNameCount(rest) != 0) return LongName(rest, out);
    char shortName[13];
    const std::size_t n = ShortName(rest, shortName);
    if (n == 0 || out.size() < n + 1) return 0;
    for (std::size_t i = 0; i < n; ++i)
        out[i] = char16_t(std::uint8_t(shortName[i]));
    out[n] = 0;
    return n;
}

void SetDotEntries(MutableByteView dir, std::uint32_t parentCluster, std::uint32_t ownCluster) {
    std::size_t off = 0;
    while (off < dir.size()) {
        const MutableByteView rest = dir.subspan(off);
        const std::uint32_t len = DirEntryLength(rest);
        if (len == 0) break;
        if (IsItemEntry(rest)) {
            const MutableByteView e = ShortEntryOf(rest);
            if (!e.empty() && std::memcmp(e.data(), "..      ", 8) == 0)
                SetFirstCluster(e, parentCluster);
            else if (!e.empty() && std::memcmp(e.data(), ".       ", 8) == 0)
                SetFirstCluster(e, ownCluster);
        }
        off += len;
    }
}

std::uint32_t MakeLabelEntry(MutableByteView entry, std::string_view label11) {
    if (entry.size() < direntry::kSize || label11.size() != 11) return 0;
    std::memcpy(entry.data() + direntry::kName, label11.data(), 11);
    // Padded with blanks: a label with NULs in its name is invalid to the checkers (fsck.fat
    // removes it), and Windows itself pads with blanks.
    std::uint32_t padding = 0;
    for (std::size_t i = 11; i-- > 0;) {
        std::uint8_t& c = entry[direntry::kName + i];
        if (c != ' ' && c != 0) break;
        c = ' ';
        ++padding;
    }
    entry[direntry::kAttributes] = direntry::kLabelAttributes;
    return padding;
}

std::int64_t FindLabelEntry(ByteView dir) {
    std::size_t off = 0;
    while (InBounds(dir.size(), off, direntry::kSize)) {
        const ByteView rest = dir.subspan(off);
        if (!IsFreeEntry(rest) && rest[direntry::kAttributes] == direntry::kLabelAttributes)
            return std::int64_t(off);
        std::uint32_t len = direntry::kSize;
        if (LongNameCount(rest) != 0) {
            len = DirEntryLength(rest);
            if (len == 0) return -1;
        }
        off += len;
    }
    return -1;
}

bool InitFsInfoSector(MutableByteView sector) {
    if (sector.size() < 512) return false;
    StoreLe<std::uint32_t>(sector, 0, 0x41615252);
    StoreLe<std::uint32_t>(sector, 484, 0x61417272);
    StoreLe<std::uint32_t>(sector, 488, 0xFFFFFFFF);
    StoreLe<std::uint32_t>(sector, 492, 0xFFFFFFFF);
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return true;
}

} // namespace tvd
