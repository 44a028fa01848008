#include "drive/fundiskpartitionsutil.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "storage/partitiontableutil.h"
#include "storage/storageplatform.h"
#include "storage/devicehandleutil.h"

namespace tvd {
namespace {

// Type GUIDs in their stored (mixed-endian) byte order.
constexpr std::uint8_t kEfiSystemType[16] = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                                             0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};
constexpr std::uint8_t kMsReservedType[16] = {0x16, 0xE3, 0xC9, 0xE3, 0x5C, 0x0B, 0xB8, 0x4D,
                                              0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE};

bool SameGuid(const std::uint8_t (&a)[16], const std::uint8_t (&b)[16]) {
    return std::memcmp(a, b, 16) == 0;
}

std::uint64_t SaturatingEnd(std::uint64_t start, std::uint64_t length) {
    return length > std::numeric_limits<std::uint64_t>::max() - start
               ? std::numeric_limits<std::uint64_t>::max()
               : start + length;
}

class EntryWalk {
public:
    EntryWalk(std::vector<PartitionSnapshotEntry>& entries, std::uint64_t cursor)
        : entries_(entries), cursor_(cursor) {}

    std::uint64_t Cursor() const { return cursor_; }

    // Free space from the cursor to `end`; the cursor moves there whether or not it is shown.
    void OfferGap(std::uint64_t end) {
        if (end <= cursor_) return;
        if (end - cursor_ >= kMinShownGapBytes && entries_.size() < kMaxSnapshotEntries)
            Add(-1, cursor_, end - cursor_, partkind::kGap);
        cursor_ = end;
    }

    void AddPartition(std::int32_t number, std::uint64_t length, std::uint8_t kind) {
        if (entries_.size() < kMaxSnapshotEntries) Add(number, cursor_, length, kind);
        cursor_ = SaturatingEnd(cursor_, length);
    }

private:
    void Add(std::int32_t number, std::uint64_t start, std::uint64_t length, std::uint8_t kind) {
        PartitionSnapshotEntry e;
        e.partitionNumber = number;
        e.start = start;
        e.length = length;
        e.kind = kind;
        entries_.push_back(std::move(e));
    }

    std::vector<PartitionSnapshotEntry>& entries_;
    std::uint64_t cursor_;
};

bool IsUsableGpt(const DriveLayout& layout) {
    const auto& parts = layout.partitions;
    if (parts.size() >= 2) return true;
    if (parts.size() != 1) return false;
    const PartitionEntry& p = parts.front();
    return !(SameGuid(p.gptType, kMsReservedType) && p.length <= kMaxBlankMsrBytes);
}

// Walks the layout in disk order. Entries that begin inside one already placed (overlaps) are
// left out, containers only move the cursor, and nothing reaches beyond `end`.
void WalkLayout(const DriveLayout& layout, std::uint64_t begin, std::uint64_t end,
                std::vector<PartitionSnapshotEntry>& entries) {
    const bool gpt = layout.style == layoutstyle::kGpt;
    std::vector<const PartitionEntry*> order;
    for (const PartitionEntry& p : layout.partitions)
        order.push_back(&p);
    std::stable_sort(order.begin(), order.end(), [](const auto* a, const auto* b) {
        return a->startingOffset < b->startingOffset;
    });
    EntryWalk walk(entries, begin);
    for (const PartitionEntry* p : order) {
        if (p->startingOffset >= end) break;
        walk.OfferGap(p->startingOffset);
        if (p->startingOffset != walk.Cursor() || p->length == 0) continue;
        if (!gpt && IsExtendedMbrType(p->mbrType)) continue;
        const std::uint64_t length = std::min(p->length, end - p->startingOffset);
        std::uint8_t kind = partkind::kOrdinary;
        if (gpt && SameGuid(p->gptType, kEfiSystemType))
            kind = partkind::kEfi;
        else if (!gpt && p->bootIndicator)
            kind = partkind::kBoot;
        walk.AddPartition(static_cast<std::int32_t>(std::min<std::uint32_t>(p->number, INT32_MAX)),
                          length, kind);
    }
    walk.OfferGap(end);
}

bool HasFile(const std::u16string& root, const VolumeLookup& volumes,
             std::u16string_view relative) {
    return !root.empty() && volumes.FileExists(root, relative);
}

void JoinVolume(const VolumeLookup& volumes, PartitionSnapshotEntry& e) {
    VolumeMatch v;
    if (!volumes.Find(e.start, v)) return;
    e.hasVolume = true;
    e.letter = v.letter;
    e.volumePath = std::move(v.volumePath);
    e.root = std::move(v.root);
    e.label = std::move(v.label);
    e.fileSystem = std::move(v.fileSystem);
    if (e.fileSystem.size() > kMaxFileSystemChars) e.fileSystem.resize(kMaxFileSystemChars);
    if (e.root.empty() || e.kind == partkind::kGap) return;
    const char windows = volumes.WindowsLetter();
    const bool windowsRoot =
        windows != 0 && e.root.size() >= 2 && e.root[1] == u':' &&
        (e.root[0] == char16_t(windows) || e.root[0] == char16_t(windows ^ 0x20));
    if (windowsRoot || HasFile(e.root, volumes, u"Windows\\System32\\Config\\System"))
        e.kind = partkind::kWindows;
    else if (HasFile(e.root, volumes, u"Recovery\\WindowsRE\\Winre.wim"))
        e.kind = partkind::kRecovery;
}

void Weigh(std::vector<PartitionSnapshotEntry>& entries) {
    double sum = 0;
    for (PartitionSnapshotEntry& e : entries) {
        const float w = std::log10(static_cast<float>(e.length) / 1000.0f / 1000.0f);
        e.weight = std::isfinite(w) ? std::max(w, kMinPartitionWeight) : kMinPartitionWeight;
        sum += e.weight;
    }
    for (PartitionSnapshotEntry& e : entries)
        e.share = static_cast<float>(e.weight / sum);
}

} // namespace

bool IsUsableLayout(const DriveLayout& layout) {
    if (layout.style == layoutstyle::kGpt) return IsUsableGpt(layout);
    if (layout.style != layoutstyle::kMbr || layout.partitions.empty()) return false;
    return layout.partitions.size() > 4 ||
           std::any_of(layout.partitions.begin(), layout.partitions.end(),
                       [](const PartitionEntry& p) { return p.length != 0; });
}

void BuildPartitionSnapshot(const DriveLayout* layout, std::uint64_t diskBytes,
                            const VolumeLookup& volumes, PartitionSnapshot& out) {
    out = PartitionSnapshot{};
    out.diskBytes = diskBytes;
    if (layout != nullptr) {
        out.hasLayout = true;
        out.layout = *layout;
    }
    // Without a known size the disk ends where its last partition does.
    std::uint64_t end = diskBytes;
    if (end == 0 && layout != nullptr)
        for (const PartitionEntry& p : layout->partitions)
            end = std::max(end, SaturatingEnd(p.startingOffset, p.length));

    if (layout == nullptr || !IsUsableLayout(*layout)) {
        EntryWalk(out.entries, 0).OfferGap(diskBytes);
    } else if (layout->style == layoutstyle::kGpt) {
        const std::uint64_t begin = std::min(layout->gptStartingUsableOffset, end);
        const std::uint64_t usableEnd =
            std::min(SaturatingEnd(begin, layout->gptUsableLength), end);
        WalkLayout(*layout, begin, usableEnd, out.entries);
    } else {
        WalkLayout(*layout, 0, end, out.entries);
    }
    for (std::size_t i = 0; i < out.entries.size(); ++i) {
        out.entries[i].index = static_cast<std::uint32_t>(i);
        JoinVolume(volumes, out.entries[i]);
    }
    Weigh(out.entries);
}

ErrorCode BuildDiskPartitionSnapshot(const std::string& diskPath, std::uint64_t diskBytes,
                                     const VolumeLookup& volumes, PartitionSnapshot& out) {
    DriveLayout layout;
    DeviceHandle h;
    ErrorCode e = diskPath.empty() ? err::kInvalidParameter : OpenDeviceForQuery(diskPath, h);
    if (e == err::kSuccess) e = Storage().GetDriveLayout(h, layout);
    BuildPartitionSnapshot(e == err::kSuccess ? &layout : nullptr, diskBytes, volumes, out);
    return e;
}

} // namespace tvd
