#include "clone/clonelayoututil.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "foundation/crc32util.h"
#include "storage/fsrecognizeutil.h"
#include "storage/partitiontableutil.h"

namespace tvd {

namespace {

constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

namespace gpth {
using namespace gptsector;
inline constexpr std::uint32_t kHeaderBytes = kMinHeaderSize;
inline constexpr std::uint32_t kRevision10 = 0x00010000;
} // namespace gpth

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" in the mixed-endian order GPT stores.
struct GuidBytes {
    std::uint8_t b[16] = {};
    constexpr explicit GuidBytes(const char* t) {
        auto hex = [](char c) -> std::uint8_t {
            return std::uint8_t(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        };
        std::uint8_t raw[16] = {};
        int n = 0;
        for (const char* p = t; *p && n < 32; ++p) {
            if (*p == '-') continue;
            raw[n / 2] = std::uint8_t(raw[n / 2] << 4 | hex(*p));
            ++n;
        }
        const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
        for (int i = 0; i < 16; ++i)
            b[i] = raw[order[i]];
    }
};

constexpr GuidBytes kBasicData("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
constexpr GuidBytes kEfiSystem("C12A7328-F81F-11D2-BA4B-00A0C93EC93B");
constexpr GuidBytes kWinRecovery("DE94BBA4-06D1-4D40-A16A-BFD50179D6AC");
constexpr GuidBytes kLinuxSwap("0657FD6D-A4AB-43C4-84E5-0933C84B4F4F");
constexpr GuidBytes kLinuxData("0FC63DAF-8483-4772-8E79-3D69D8477DE4");
constexpr GuidBytes kLinuxLvm("E6D6D379-F507-44C2-A23C-238F2A3DF928");
constexpr GuidBytes kLinuxRaid("A19D880F-05FC-4D3B-A006-743F0F84911E");

struct MbrToGpt {
    std::uint8_t mbr;
    const GuidBytes* type;
    const char16_t* name;
};
const MbrToGpt kMbrToGpt[] = {
    {0xEF, &kEfiSystem, u"EFI system partition"},
    {0x27, &kWinRecovery, u"Recovery"},
    {0x82, &kLinuxSwap, u"Linux swap"},
    {0x83, &kLinuxData, u"Linux filesystem"},
    {0x8E, &kLinuxLvm, u"Linux LVM"},
    {0xFD, &kLinuxRaid, u"Linux RAID"},
};

const char16_t* NameForMbrType(std::uint8_t type) {
    for (const MbrToGpt& m : kMbrToGpt)
        if (m.mbr == type) return m.name;
    return u"Basic data partition";
}

std::uint64_t DivUp(std::uint64_t a, std::uint64_t b) {
    return a / b + (a % b != 0);
}

std::uint64_t AlignUp(std::uint64_t v, std::uint64_t a) {
    const std::uint64_t r = v % a;
    return r == 0 || v > kMax64 - (a - r) ? v : v + (a - r);
}

std::uint64_t SatAdd(std::uint64_t a, std::uint64_t b) {
    return a > kMax64 - b ? kMax64 : a + b;
}

// Whole entries of 128 bytes filling whole sectors, at least the default count.
std::uint32_t GptEntryCount(std::uint32_t wanted, std::uint32_t bytesPerSector) {
    const std::uint32_t perSector = std::max<std::uint32_t>(1, bytesPerSector / kGptEntrySize);
    std::uint32_t n = std::clamp<std::uint32_t>(wanted, kGptDefaultEntries, kMaxGptEntries);
    n = (n + perSector - 1) / perSector * perSector;
    return std::min(n, kMaxGptEntries);
}

std::uint64_t GptArraySectors(std::uint32_t entries, std::uint32_t bytesPerSector) {
    return DivUp(std::uint64_t(entries) * kGptEntrySize, bytesPerSector);
}

void PutEntry16(std::uint8_t* e, std::uint8_t boot, std::uint8_t type, std::uint32_t start,
                std::uint32_t count) {
    std::memset(e, 0, 16);
    e[mbrsector::kBootIndicator] = boot;
    e[mbrsector::kType] = type;
    StoreLe<std::uint32_t>(MutableByteView(e, 16), mbrsector::kFirstLba, start);
    StoreLe<std::uint32_t>(MutableByteView(e, 16), mbrsector::kSectorCount, count);
}

void PutGptEntry(MutableByteView e, const std::uint8_t (&type)[16], const std::uint8_t (&id)[16],
                 std::uint64_t first, std::uint64_t last, std::uint64_t attributes,
                 std::u16string_view name) {
    std::memcpy(e.data() + gpth::kTypeGuid, type, 16);
    std::memcpy(e.data() + gpth::kUniqueGuid, id, 16);
    StoreLe<std::uint64_t>(e, gpth::kFirstLba, first);
    StoreLe<std::uint64_t>(e, gpth::kLastLba, last);
    StoreLe<std::uint64_t>(e, gpth::kAttributes, attributes);
    for (std::size_t u = 0; u < gpth::kNameUnits && u < name.size(); ++u)
        StoreLe<std::uint16_t>(e, gpth::kName + 2 * u, std::uint16_t(name[u]));
}

LayoutInfo NewGptBuffer(std::uint32_t entries, const std::uint8_t (&diskGuid)[16]) {
    LayoutInfo info;
    info.style = diskstyle::kGpt;
    info.buffer.assign(kGptHeaderArea + std::size_t(entries) * kGptEntrySize, 0);
    for (std::size_t h : {std::size_t(0), std::size_t(512)}) {
        const MutableByteView hdr(info.buffer.data() + h, 512);
        std::memcpy(hdr.data(), "EFI PART", 8);
        StoreLe<std::uint32_t>(hdr, gpth::kRevision, gpth::kRevision10);
        StoreLe<std::uint32_t>(hdr, gpth::kHeaderSize, gpth::kHeaderBytes);
        std::memcpy(hdr.data() + gpth::kDiskGuid, diskGuid, 16);
        StoreLe<std::uint32_t>(hdr, gpth::kEntryCount, entries);
        StoreLe<std::uint32_t>(hdr, gpth::kEntrySize, kGptEntrySize);
    }
    return info;
}

MutableByteView GptEntryAt(LayoutInfo& info, std::uint32_t index) {
    return MutableByteView(info.buffer.data() + kGptHeaderArea + std::size_t(index) * kGptEntrySize,
                           kGptEntrySize);
}

std::uint32_t GptEntriesOf(const std::vector<std::uint8_t>& buffer) {
    if (buffer.size() < kGptHeaderArea) return 0;
    return std::uint32_t((buffer.size() - kGptHeaderArea) / kGptEntrySize);
}

// CHS of a sector with 63 sectors per track; FE FF FF past cylinder 1023.
void Chs(std::uint64_t lba, std::uint32_t heads, std::uint8_t* out) {
    if (heads == 0 || heads > 255) heads = 255;
    const std::uint64_t c = lba / (std::uint64_t(heads) * 63);
    if (c > 1023) {
        out[0] = 0xFE;
        out[1] = 0xFF;
        out[2] = 0xFF;
        return;
    }
    const std::uint64_t h = (lba / 63) % heads, s = lba % 63 + 1;
    out[0] = std::uint8_t(h);
    out[1] = std::uint8_t(s | ((c >> 8) & 3) << 6);
    out[2] = std::uint8_t(c & 0xFF);
}

struct Entry16 {
    std::uint8_t boot = 0, type = 0;
    std::uint32_t start = 0, count = 0;
    bool Empty() const { return type == 0 || count == 0; }
};

Entry16 ReadEntry16(const std::uint8_t* e) {
    const ByteView v(e, 16);
    return {e[mbrsector::kBootIndicator], e[mbrsector::kType],
            Le<std::uint32_t>(v, mbrsector::kFirstLba),
            Le<std::uint32_t>(v, mbrsector::kSectorCount)};
}

// An entry as it is stored in a table sector: start relative to `base`, CHS from the absolute
// positions.
void StoreSlot(std::uint8_t* slot, const Entry16& e, std::uint64_t absoluteStart,
               std::uint64_t base, std::uint32_t heads) {
    std::memset(slot, 0, 16);
    if (e.Empty()) return;
    slot[mbrsector::kBootIndicator] = e.boot == 0x80 ? 0x80 : 0;
    slot[mbrsector::kType] = e.type;
    Chs(absoluteStart, heads, slot + mbrsector::kChsFirst);
    Chs(absoluteStart + e.count - 1, heads, slot + mbrsector::kChsLast);
    StoreLe<std::uint32_t>(MutableByteView(slot, 16), mbrsector::kFirstLba,
                           std::uint32_t(absoluteStart - base));
    StoreLe<std::uint32_t>(MutableByteView(slot, 16), mbrsector::kSectorCount, e.count);
}

bool Counts(const LayoutPart& p) {
    return p.start != 0 && p.neededBytes != 0;
}

bool Fixed(const LayoutPart& p) {
    return p.start != 0 && p.neededBytes == 0;
}

// Sectors available to the resizable parts: the limit less what is reserved and what the fixed
// parts take; 0 when those exceed it.
std::uint64_t Available(const LayoutPlan& plan, std::uint64_t limit, std::uint64_t reserved,
                        std::uint64_t& total) {
    std::uint64_t taken = reserved;
    total = 0;
    for (const LayoutPart& p : plan.parts) {
        if (Fixed(p)) taken = SatAdd(taken, p.size);
        if (Counts(p)) total = SatAdd(total, p.size);
    }
    return taken >= limit ? 0 : limit - taken;
}

std::uint64_t MinSectors(const LayoutPart& p, std::uint32_t bps) {
    return DivUp(p.neededBytes, bps);
}

// A resized partition ends on a MiB boundary too, where that leaves it its minimum.
std::uint64_t AlignedSize(std::uint64_t size, const LayoutPart& p, std::uint32_t bps) {
    const std::uint64_t align = bps ? std::max<std::uint64_t>(1, kLayoutAlignBytes / bps) : 1;
    const std::uint64_t down = size / align * align;
    return down >= MinSectors(p, bps) && down != 0 ? down : size;
}

} // namespace

bool GptPartitionResizable(const PartitionEntry& entry) {
    if (entry.gptAttributes & 1) return false;
    if (std::memcmp(entry.gptType, kEfiSystem.b, 16) == 0) return false;
    return entry.gptName != u"EFI system partition";
}

void GptTypeForMbrType(std::uint8_t mbrType, std::uint8_t (&type)[16]) {
    std::memcpy(type, kBasicData.b, 16);
    for (const MbrToGpt& m : kMbrToGpt)
        if (m.mbr == mbrType) std::memcpy(type, m.type->b, 16);
}

std::uint64_t AlignSectors(std::uint32_t bytesPerSector) {
    return bytesPerSector ? std::max<std::uint64_t>(1, kLayoutAlignBytes / bytesPerSector) : 1;
}

LayoutInfo LayoutFromDrive(const DriveLayout& layout, std::uint8_t wholeDiskKind, std::uint32_t bps,
                           std::uint64_t sectorCount) {
    LayoutInfo info;
    if (bps == 0) return info;
    bool anyPartition = false;
    for (const PartitionEntry& p : layout.partitions)
        anyPartition = anyPartition || p.length != 0;
    const bool wholeDiskVolume = IsFatKind(wholeDiskKind) || wholeDiskKind == fskind::kNtfs ||
                                 wholeDiskKind == fskind::kExfat;
    // mkfs.fat and mkntfs leave zeros where a table would be: the volume is checked first.
    if (wholeDiskVolume && !anyPartition) {
        info.style = diskstyle::kRaw;
        info.count = 1;
        info.buffer.assign(16, 0);
        PutEntry16(info.buffer.data(), 0, wholeDiskKind, 0,
                   std::uint32_t(std::min(sectorCount, kMbrMaxSectors)));
        return info;
    }
    if (layout.style == layoutstyle::kMbr) {
        info.style = diskstyle::kMbr;
        info.count = std::uint32_t(layout.partitions.size());
        info.buffer.assign(std::size_t(info.count) * 16, 0);
        for (std::size_t i = 0; i < layout.partitions.size(); ++i) {
            const PartitionEntry& p = layout.partitions[i];
            if (p.length == 0) continue;
            const std::uint64_t start = p.startingOffset / bps, count = p.length / bps;
            if (start > kMbrMaxSectors || count > kMbrMaxSectors) continue;
            PutEntry16(info.buffer.data() + 16 * i, p.bootIndicator ? 0x80 : 0, p.mbrType,
                       std::uint32_t(start), std::uint32_t(count));
        }
        return info;
    }
    if (layout.style == layoutstyle::kGpt) {
        const std::uint32_t entries = GptEntryCount(layout.gptMaxPartitionCount, bps);
        info = NewGptBuffer(entries, layout.gptDiskId);
        for (const PartitionEntry& p : layout.partitions) {
            if (p.length == 0 || p.number == 0 || p.number > entries) continue;
            const std::uint64_t first = p.startingOffset / bps;
            PutGptEntry(GptEntryAt(info, p.number - 1), p.gptType, p.gptId, first,
                        first + p.length / bps - 1, p.gptAttributes, p.gptName);
        }
        // The positions the source's headers had, for what reads the source's layout.
        const std::uint64_t firstUsable = layout.gptStartingUsableOffset / bps;
        const std::uint64_t usable = layout.gptUsableLength / bps;
        for (std::size_t h : {std::size_t(0), std::size_t(512)}) {
            const MutableByteView hdr(info.buffer.data() + h, 512);
            StoreLe<std::uint64_t>(hdr, gpth::kFirstUsable, firstUsable);
            StoreLe<std::uint64_t>(hdr, gpth::kLastUsable, usable ? firstUsable + usable - 1 : 0);
        }
        (void)sectorCount;
        return info;
    }
    return info;
}

bool FitSizes(LayoutPlan& plan, std::uint64_t available, std::uint64_t total) {
    if (total == 0) return false;
    const long double r = static_cast<long double>(available) / static_cast<long double>(total);
    const std::uint32_t bps = plan.bytesPerSector;
    std::uint64_t sum = 0;
    for (LayoutPart& p : plan.parts) {
        if (!Counts(p)) continue;
        if (p.fsKind != fskind::kOther) {
            const long double scaled = static_cast<long double>(p.size) * r;
            const std::uint64_t size =
                scaled >= static_cast<long double>(kMax64 / 2) ? kMax64 / 2 : std::uint64_t(scaled);
            p.size = AlignedSize(std::max(size, MinSectors(p, bps)), p, bps);
        }
        sum = SatAdd(sum, p.size);
    }
    while (sum > available) {
        const int i = PickShrinkCandidate(plan);
        if (i < 0) return false;
        LayoutPart& p = plan.parts[std::size_t(i)];
        const std::uint64_t before = p.size;
        p.size =
            AlignedSize(p.size - std::min(sum - available, p.size - MinSectors(p, bps)), p, bps);
        sum -= before - p.size;
    }
    return true;
}

int PickShrinkCandidate(const LayoutPlan& plan) {
    int best = -1;
    std::uint64_t bestSlack = 0;
    for (std::size_t i = 0; i < plan.parts.size(); ++i) {
        const LayoutPart& p = plan.parts[i];
        if (!Counts(p) || p.fsKind == fskind::kOther) continue;
        const std::uint64_t min = MinSectors(p, plan.bytesPerSector);
        const std::uint64_t slack = p.size > min ? p.size - min : 0;
        if (slack > bestSlack) {
            bestSlack = slack;
            best = int(i);
        }
    }
    return best;
}

bool ResizeForGpt(LayoutPlan& plan, std::uint64_t limit) {
    const std::uint64_t align = AlignSectors(plan.bytesPerSector);
    std::uint64_t n = 0;
    for (const LayoutPart& p : plan.parts)
        n += p.start != 0;
    // The first MiB, the backup array and header, and up to a MiB per partition for alignment.
    const std::uint64_t tail = GptArraySectors(plan.gptEntries, plan.bytesPerSector) + 1;
    const std::uint64_t reserved = SatAdd(SatAdd(align, tail), n * align);
    std::uint64_t total = 0;
    const std::uint64_t available = Available(plan, limit, reserved, total);
    if (total == 0) return false;
    FitSizes(plan, available, total);
    return true;
}

bool ResizeForMbr(LayoutPlan& plan, std::uint64_t limit) {
    const std::uint64_t g = AlignSectors(plan.bytesPerSector);
    std::uint64_t n = 0;
    for (const LayoutPart& p : plan.parts)
        n += p.start != 0;
    // The first MiB, then per partition a MiB for its extended boot record and up to one for
    // alignment.
    const std::uint64_t reserved = SatAdd(g, n * 2 * g);
    std::uint64_t total = 0;
    const std::uint64_t available = Available(plan, limit, reserved, total);
    if (total == 0) return false;
    FitSizes(plan, available, total);
    return true;
}

void PlaceForGpt(LayoutPlan& plan) {
    const std::uint64_t align = AlignSectors(plan.bytesPerSector);
    std::uint64_t p = align;
    for (LayoutPart& part : plan.parts) {
        if (part.start == 0) continue;
        part.start = AlignUp(p, align);
        p = SatAdd(part.start, part.size);
    }
}

void PlaceForMbr(LayoutPlan& plan) {
    const std::uint64_t g = AlignSectors(plan.bytesPerSector);
    std::uint64_t p = g;
    for (LayoutPart& part : plan.parts) {
        if (part.start == 0) continue;
        part.start = SatAdd(AlignUp(p, g), g);
        p = SatAdd(part.start, part.size);
    }
}

bool FitsTarget(LayoutPlan& plan, std::uint64_t limit) {
    const std::uint32_t bps = plan.bytesPerSector;
    std::uint64_t worst = 0;
    for (const LayoutPart& p : plan.parts) {
        const bool inside = p.start < limit && p.size <= limit - p.start;
        if (!inside) {
            const std::uint64_t end = SatAdd(p.start, p.size);
            worst = std::max(worst, end > limit ? end - limit : 1);
        }
        if (p.size > kMax64 / bps || p.size * bps < p.neededBytes) {
            plan.failure = "a partition would be smaller than the bytes it needs";
            return false;
        }
    }
    if (worst != 0) {
        plan.shortfallBytes = worst > kMax64 / bps ? kMax64 : worst * bps;
        plan.failure = "the partitions do not fit on the target";
        return false;
    }
    std::vector<const LayoutPart*> order;
    for (const LayoutPart& p : plan.parts)
        order.push_back(&p);
    std::sort(order.begin(), order.end(),
              [](const LayoutPart* a, const LayoutPart* b) { return a->start < b->start; });
    for (std::size_t i = 1; i < order.size(); ++i)
        if (order[i]->start < order[i - 1]->start + order[i - 1]->size) {
            plan.failure = "two partitions would overlap on the target";
            return false;
        }
    return true;
}

bool PlanParts(std::uint8_t sourceStyle, bool holdsWindows, std::uint32_t bps,
               std::uint64_t sourceSectors, std::uint64_t targetSectors,
               std::vector<LayoutPart> parts, LayoutPlan& plan) {
    plan = LayoutPlan{};
    plan.sourceStyle = sourceStyle;
    plan.bytesPerSector = bps;
    plan.targetSectors = targetSectors;
    plan.holdsWindows = holdsWindows;
    plan.parts = std::move(parts);
    if (bps == 0) {
        plan.failure = "the sector size is not known";
        return false;
    }
    // The source as the table describes it: inside its disk, no two partitions sharing sectors.
    std::vector<const LayoutPart*> order;
    for (const LayoutPart& p : plan.parts) {
        if (p.sourceSize == 0 || p.sourceStart >= sourceSectors ||
            p.sourceSize > sourceSectors - p.sourceStart) {
            plan.failure = "a source partition lies outside its disk";
            return false;
        }
        order.push_back(&p);
    }
    std::sort(order.begin(), order.end(), [](const LayoutPart* a, const LayoutPart* b) {
        return a->sourceStart < b->sourceStart;
    });
    for (std::size_t i = 1; i < order.size(); ++i)
        if (order[i]->sourceStart < order[i - 1]->sourceStart + order[i - 1]->sourceSize) {
            plan.failure = "two source partitions overlap";
            return false;
        }
    for (LayoutPart& p : plan.parts) {
        p.start = p.sourceStart;
        p.size = p.sourceSize;
    }

    plan.gptEntries =
        GptEntryCount(std::uint32_t(std::min<std::size_t>(plan.parts.size(), kMaxGptEntries)), bps);
    const std::uint64_t gptTail = GptArraySectors(plan.gptEntries, bps) + 1;
    const std::uint64_t gptLimit = targetSectors > gptTail ? targetSectors - gptTail : 0;
    if (sourceStyle == diskstyle::kRaw) {
        plan.targetStyle = diskstyle::kRaw;
        plan.limit = targetSectors;
        return FitsTarget(plan, targetSectors);
    }
    if (sourceStyle == diskstyle::kGpt) {
        plan.targetStyle = diskstyle::kGpt;
        plan.limit = targetSectors;
        plan.resized = ResizeForGpt(plan, targetSectors);
        if (plan.resized) PlaceForGpt(plan);
        return FitsTarget(plan, gptLimit);
    }
    std::uint64_t limit = targetSectors;
    plan.targetStyle = diskstyle::kMbr;
    if (limit > kMbrMaxSectors) {
        if (holdsWindows)
            limit = kMbrMaxSectors;
        else
            plan.targetStyle = diskstyle::kGpt;
    }
    plan.limit = limit;
    if (plan.targetStyle == diskstyle::kGpt) {
        plan.resized = true;
        ResizeForGpt(plan, limit);
        PlaceForGpt(plan);
        return FitsTarget(plan, gptLimit);
    }
    plan.resized = ResizeForMbr(plan, limit);
    if (plan.resized) PlaceForMbr(plan);
    return FitsTarget(plan, limit);
}

LayoutInfo BuildGptFromGpt(const LayoutPlan& plan) {
    std::uint8_t none[16] = {};
    const std::uint32_t entries = plan.gptEntries;
    LayoutInfo info = NewGptBuffer(entries, none);
    std::vector<bool> used(entries, false);
    std::vector<const LayoutPart*> later;
    // Each partition keeps its entry number where it can (Linux names partitions by it).
    for (const LayoutPart& p : plan.parts) {
        if (p.start == 0) continue;
        const std::uint32_t n = p.entry.number;
        if (n == 0 || n > entries || used[n - 1]) {
            later.push_back(&p);
            continue;
        }
        used[n - 1] = true;
        PutGptEntry(GptEntryAt(info, n - 1), p.entry.gptType, p.id, p.start, p.start + p.size - 1,
                    p.entry.gptAttributes, p.entry.gptName);
    }
    std::uint32_t next = 0;
    for (const LayoutPart* p : later) {
        while (next < entries && used[next])
            ++next;
        if (next == entries) break;
        used[next] = true;
        PutGptEntry(GptEntryAt(info, next), p->entry.gptType, p->id, p->start,
                    p->start + p->size - 1, p->entry.gptAttributes, p->entry.gptName);
    }
    return info;
}

LayoutInfo BuildGptFromMbr(const LayoutPlan& plan) {
    std::uint8_t none[16] = {};
    const std::uint32_t entries = plan.gptEntries;
    LayoutInfo info = NewGptBuffer(entries, none);
    std::uint32_t k = 0;
    for (const LayoutPart& p : plan.parts) {
        if (p.start == 0 || k == entries) continue;
        std::uint8_t type[16];
        GptTypeForMbrType(p.entry.mbrType, type);
        PutGptEntry(GptEntryAt(info, k++), type, p.id, p.start, p.start + p.size - 1, 0,
                    NameForMbrType(p.entry.mbrType));
    }
    return info;
}

LayoutInfo BuildMbrList(const LayoutPlan& plan) {
    std::vector<const LayoutPart*> placed;
    for (const LayoutPart& p : plan.parts)
        if (p.start != 0) placed.push_back(&p);
    const std::size_t n = placed.size();
    LayoutInfo info;
    info.style = diskstyle::kMbr;
    info.count = std::uint32_t(n <= 3 ? 4 : 4 * n - 8);
    info.buffer.assign(std::size_t(info.count) * 16, 0);
    const std::uint64_t g = AlignSectors(plan.bytesPerSector);
    std::uint64_t containerEnd = 0;
    for (const LayoutPart* p : placed)
        containerEnd = std::max(containerEnd, p->start + p->size);
    std::size_t i = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const LayoutPart& p = *placed[k];
        if (i == 3) {
            PutEntry16(info.buffer.data() + 16 * 3, 0, 0x0F, std::uint32_t(p.start - g),
                       std::uint32_t(containerEnd - (p.start - g)));
            i = 4;
        } else if (i > 3) {
            // The link in the previous record: the next record and its partition.
            PutEntry16(info.buffer.data() + 16 * i, 0, 0x05, std::uint32_t(p.start - g),
                       std::uint32_t(p.size + g));
            i += 3;
        }
        const std::uint8_t boot = p.entry.bootIndicator ? 0x80 : 0;
        PutEntry16(info.buffer.data() + 16 * i, boot, p.entry.mbrType, std::uint32_t(p.start),
                   std::uint32_t(p.size));
        ++i;
    }
    return info;
}

LayoutInfo BuildWholeDisk(const LayoutPlan& plan) {
    LayoutInfo info;
    info.style = diskstyle::kRaw;
    if (plan.parts.empty()) return info;
    info.count = 1;
    info.buffer.assign(16, 0);
    PutEntry16(info.buffer.data(), 0, plan.parts[0].fsKind, 0,
               std::uint32_t(std::min(plan.parts[0].size, kMbrMaxSectors)));
    return info;
}

bool FinalizeGpt(std::vector<std::uint8_t>& buffer, std::uint32_t bps, std::uint64_t n,
                 const std::uint8_t (&diskGuid)[16]) {
    const std::uint32_t entries = GptEntriesOf(buffer);
    if (entries == 0 || bps < 512 || std::uint64_t(entries) * kGptEntrySize % bps != 0)
        return false;
    const std::uint64_t f = GptArraySectors(entries, bps);
    if (n < 2 * f + 4) return false;
    const std::uint64_t firstUsable = 2 + f, lastUsable = n - f - 2;
    const std::uint32_t arrayCrc =
        Crc32(buffer.data() + kGptHeaderArea, std::size_t(entries) * kGptEntrySize);
    for (int h = 0; h < 2; ++h) {
        const MutableByteView hdr(buffer.data() + 512 * h, 512);
        std::fill(hdr.begin(), hdr.end(), 0);
        std::memcpy(hdr.data(), "EFI PART", 8);
        StoreLe<std::uint32_t>(hdr, gpth::kRevision, gpth::kRevision10);
        StoreLe<std::uint32_t>(hdr, gpth::kHeaderSize, gpth::kHeaderBytes);
        StoreLe<std::uint64_t>(hdr, gpth::kCurrentLba, h == 0 ? 1 : n - 1);
        StoreLe<std::uint64_t>(hdr, gpth::kBackupLba, h == 0 ? n - 1 : 1);
        StoreLe<std::uint64_t>(hdr, gpth::kFirstUsable, firstUsable);
        StoreLe<std::uint64_t>(hdr, gpth::kLastUsable, lastUsable);
        std::memcpy(hdr.data() + gpth::kDiskGuid, diskGuid, 16);
        StoreLe<std::uint64_t>(hdr, gpth::kEntryLba, h == 0 ? 2 : lastUsable + 1);
        StoreLe<std::uint32_t>(hdr, gpth::kEntryCount, entries);
        StoreLe<std::uint32_t>(hdr, gpth::kEntrySize, kGptEntrySize);
        StoreLe<std::uint32_t>(hdr, gpth::kEntryArrayCrc, arrayCrc);
        StoreLe<std::uint32_t>(hdr, gpth::kHeaderCrc, Crc32(hdr.data(), gpth::kHeaderBytes));
    }
    return true;
}

ErrorCode BuildMbrSectors(const std::uint8_t* entries, std::uint32_t count, std::uint32_t bps,
                          std::uint32_t heads, std::uint64_t sectorCount, MbrSectors& out) {
    out = MbrSectors{};
    if (!entries || count < 4 || count % 4 != 0 || bps < 512) return err::kInvalidParameter;
    const std::uint64_t limit = std::min(sectorCount, kMbrMaxSectors + 1);
    auto inside = [&](const Entry16& e) {
        return e.start != 0 && e.start < limit && e.count <= limit - e.start;
    };
    std::uint64_t container = 0;
    for (int i = 0; i < 4; ++i) {
        const Entry16 e = ReadEntry16(entries + 16 * i);
        if (e.Empty()) continue;
        if (!inside(e)) return err::kInvalidData;
        if (IsExtendedMbrType(e.type) && container == 0) container = e.start;
        StoreSlot(out.table + 16 * i, e, e.start, 0, heads);
    }
    std::uint64_t ebr = container;
    for (std::uint32_t group = 1; group < count / 4; ++group) {
        if (container == 0) return err::kInvalidData;
        MbrSectors::Ebr record;
        record.lba = ebr;
        record.sector.assign(bps, 0);
        std::uint64_t next = 0;
        for (int s = 0; s < 4; ++s) {
            const Entry16 e = ReadEntry16(entries + 16 * (4 * group + s));
            if (e.Empty()) continue;
            if (!inside(e)) return err::kInvalidData;
            std::uint8_t* slot = record.sector.data() + mbrsector::kSlots + 16 * s;
            if (IsExtendedMbrType(e.type)) {
                if (e.start <= ebr || next != 0) return err::kInvalidData;
                next = e.start;
                StoreSlot(slot, e, e.start, container, heads);
            } else {
                if (e.start <= ebr) return err::kInvalidData;
                StoreSlot(slot, e, e.start, ebr, heads);
            }
        }
        record.sector[mbrsector::kBootMark] = 0x55;
        record.sector[mbrsector::kBootMark + 1] = 0xAA;
        out.ebrs.push_back(std::move(record));
        if (next == 0) break;
        ebr = next;
    }
    return err::kSuccess;
}

void ProtectiveMbrEntry(std::uint64_t sectorCount, std::uint8_t (&entry)[16]) {
    const std::uint64_t count = sectorCount > 1 ? std::min(sectorCount - 1, kMbrMaxSectors) : 0;
    PutEntry16(entry, 0, mbrsector::kProtectiveType, 1, std::uint32_t(count));
    entry[mbrsector::kChsFirst] = 0x00;
    entry[mbrsector::kChsFirst + 1] = 0x02;
    entry[mbrsector::kChsFirst + 2] = 0x00;
    Chs(count, 255, entry + mbrsector::kChsLast);
}

ErrorCode SystemMbrPartitions(const std::uint8_t* entries, std::uint32_t count, std::uint32_t bps,
                              std::vector<PartitionEntry>& out) {
    if (!entries || count == 0 || count % 4 != 0 || bps < 512) return err::kInvalidParameter;
    std::vector<PartitionEntry> parts(count);
    std::uint32_t number = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const Entry16 e = ReadEntry16(entries + 16 * std::size_t(i));
        PartitionEntry& p = parts[i];
        p.style = layoutstyle::kMbr;
        p.rewrite = true;
        if (e.count == 0) continue;
        p.startingOffset = std::uint64_t(e.start) * bps;
        p.length = std::uint64_t(e.count) * bps;
        p.hiddenSectors = e.start;
        p.mbrType = e.type;
        if (IsExtendedMbrType(e.type)) continue;
        p.recognized = true;
        p.number = ++number;
        p.bootIndicator = e.boot == 0x80;
    }
    out = std::move(parts);
    return err::kSuccess;
}

ErrorCode SystemGptLayout(const std::vector<std::uint8_t>& buffer, std::uint32_t bps,
                          DriveLayout& out) {
    const std::uint32_t slots = GptEntriesOf(buffer);
    if (slots == 0 || bps < 512) return err::kInvalidData;
    const ByteView hdr(buffer.data(), 512);
    if (std::memcmp(hdr.data(), "EFI PART", 8) != 0 ||
        Le<std::uint32_t>(hdr, gpth::kEntryCount) != slots ||
        Le<std::uint32_t>(hdr, gpth::kEntrySize) != kGptEntrySize)
        return err::kInvalidData;
    const std::uint64_t first = Le<std::uint64_t>(hdr, gpth::kFirstUsable);
    const std::uint64_t last = Le<std::uint64_t>(hdr, gpth::kLastUsable);
    const std::uint64_t maxSectors = UINT64_MAX / bps;
    if (first == 0 || last < first || last >= maxSectors) return err::kInvalidData;
    DriveLayout layout;
    layout.style = layoutstyle::kGpt;
    std::memcpy(layout.gptDiskId, hdr.data() + gpth::kDiskGuid, 16);
    layout.gptStartingUsableOffset = first * bps;
    layout.gptUsableLength = (last - first + 1) * bps;
    layout.gptMaxPartitionCount = slots;
    for (std::uint32_t i = 0; i < slots; ++i) {
        const ByteView e(buffer.data() + kGptHeaderArea + std::size_t(i) * kGptEntrySize,
                         kGptEntrySize);
        PartitionEntry p;
        std::memcpy(p.gptType, e.data() + gpth::kTypeGuid, 16);
        if (std::all_of(p.gptType, p.gptType + 16, [](std::uint8_t b) { return b == 0; })) continue;
        const std::uint64_t a = Le<std::uint64_t>(e, gpth::kFirstLba);
        const std::uint64_t z = Le<std::uint64_t>(e, gpth::kLastLba);
        if (a < first || z < a || z > last) return err::kInvalidData;
        p.style = layoutstyle::kGpt;
        p.startingOffset = a * bps;
        p.length = (z - a + 1) * bps;
        p.number = i + 1;
        p.rewrite = true;
        std::memcpy(p.gptId, e.data() + gpth::kUniqueGuid, 16);
        p.gptAttributes = Le<std::uint64_t>(e, gpth::kAttributes);
        for (std::size_t u = 0; u < 36; ++u) {
            const auto c = static_cast<char16_t>(Le<std::uint16_t>(e, gpth::kName + 2 * u));
            if (c == 0) break;
            p.gptName.push_back(c);
        }
        layout.partitions.push_back(std::move(p));
    }
    out = std::move(layout);
    return err::kSuccess;
}

std::vector<LayoutExtent> LayoutExtents(const LayoutInfo& info, std::uint32_t bps) {
    std::vector<LayoutExtent> out;
    if (info.style == diskstyle::kGpt) {
        const std::uint32_t entries = GptEntriesOf(info.buffer);
        for (std::uint32_t i = 0; i < entries; ++i) {
            const ByteView e(info.buffer.data() + kGptHeaderArea + std::size_t(i) * kGptEntrySize,
                             kGptEntrySize);
            bool used = false;
            for (int b = 0; b < 16; ++b)
                used = used || e[b] != 0;
            if (!used) continue;
            const std::uint64_t first = Le<std::uint64_t>(e, gpth::kFirstLba);
            const std::uint64_t last = Le<std::uint64_t>(e, gpth::kLastLba);
            if (last >= first) out.push_back({first, last - first + 1});
        }
    } else if (info.style == diskstyle::kMbr) {
        for (std::size_t i = 0; i + 16 <= info.buffer.size(); i += 16) {
            const Entry16 e = ReadEntry16(info.buffer.data() + i);
            if (!e.Empty() && !IsExtendedMbrType(e.type)) out.push_back({e.start, e.count});
        }
    }
    (void)bps;
    std::sort(out.begin(), out.end(),
              [](const LayoutExtent& a, const LayoutExtent& b) { return a.start < b.start; });
    return out;
}

} // namespace tvd
