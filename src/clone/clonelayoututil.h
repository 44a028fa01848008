// The target layout of a clone: the source's table in the disk object's form, where each copied
// partition goes on the target and how large it becomes, the new MBR or GPT, and the sectors
// that carry it. Everything here is pure arithmetic over values; the disk objects read and
// write (clonelayoutwrite.h).
//
// Layout buffers: an MBR layout is a list of 16-byte entries with absolute start sectors, the
// four of the MBR first, then four per extended boot record (the logical partition and the link
// to the next record); a GPT layout is the primary header (bytes 0-511), the backup header
// (512-1023) and the entry array.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "clone/clcustomdiskobject.h"
#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/storagetypes.h"

namespace tvd {

inline constexpr std::uint64_t kLayoutAlignBytes = 1ull << 20;
inline constexpr std::uint32_t kGptHeaderArea = 1024;
inline constexpr std::uint32_t kGptEntrySize = 128;
inline constexpr std::uint32_t kGptDefaultEntries = 128;
inline constexpr std::uint64_t kMbrMaxSectors = 0xFFFFFFFFull;

// One source partition the clone copies, and where the plan puts it.
struct LayoutPart {
    PartitionEntry entry;                          // the source's decoded entry
    std::uint64_t sourceStart = 0, sourceSize = 0; // source sectors
    std::uint64_t start = 0, size = 0;             // target sectors; start 0: not placed
    std::uint64_t neededBytes = 0;                 // 0: keeps its size
    std::uint8_t fsKind = 0;
    std::uint8_t sourceId[16] = {};
    std::uint8_t id[16] = {}; // the target partition's identifier
};

struct LayoutPlan {
    std::uint8_t sourceStyle = diskstyle::kRaw;
    std::uint8_t targetStyle = diskstyle::kRaw;
    std::uint32_t bytesPerSector = 512;
    std::uint64_t targetSectors = 0; // the target's own size
    std::uint64_t limit = 0;         // L: the sectors the new table may describe
    bool holdsWindows = false;
    bool resized = false;
    std::uint32_t gptEntries = kGptDefaultEntries; // entries of a GPT target's array
    std::vector<LayoutPart> parts;
    // Why the plan does not fit, and by how many bytes the target falls short (0: not a size).
    std::string failure;
    std::uint64_t shortfallBytes = 0;
};

// GPT partitions that keep their size: the required attribute (bit 0), the EFI system partition.
bool GptPartitionResizable(const PartitionEntry& entry);
// The GPT type of a partition that came from an MBR type (basic data for those Windows formats
// and for anything not known).
void GptTypeForMbrType(std::uint8_t mbrType, std::uint8_t (&type)[16]);

// The disk object's layout from the reader's: GPT and MBR entries rebuilt from the decoded
// fields. A whole-disk FAT, NTFS or exFAT volume (`wholeDiskKind`, the recognizer's kind of
// sector 0, checked first) is style 0 with one entry over the whole disk.
LayoutInfo LayoutFromDrive(const DriveLayout& layout, std::uint8_t wholeDiskKind,
                           std::uint32_t bytesPerSector, std::uint64_t sectorCount);

// Planning steps, over the plan's parts in order.
std::uint64_t AlignSectors(std::uint32_t bytesPerSector);
bool ResizeForGpt(LayoutPlan& plan, std::uint64_t limit);
bool ResizeForMbr(LayoutPlan& plan, std::uint64_t limit);
bool FitSizes(LayoutPlan& plan, std::uint64_t available, std::uint64_t total);
// The part with the most slack above its minimum (the first on a tie); -1 when none has any.
int PickShrinkCandidate(const LayoutPlan& plan);
void PlaceForGpt(LayoutPlan& plan);
void PlaceForMbr(LayoutPlan& plan);
// Every part inside [0, limit) and at least its needed bytes, no two overlapping; otherwise the
// plan's failure says why.
bool FitsTarget(LayoutPlan& plan, std::uint64_t limit);

// The whole plan: style, sizes and places for `parts` of a source of `source`'s style on a
// target of `targetSectors` sectors. False with plan.failure set when it does not fit.
bool PlanParts(std::uint8_t sourceStyle, bool holdsWindows, std::uint32_t bytesPerSector,
               std::uint64_t sourceSectors, std::uint64_t targetSectors,
               std::vector<LayoutPart> parts, LayoutPlan& plan);

// Target tables. The GPT builders leave the header fields to FinalizeGpt.
LayoutInfo BuildGptFromGpt(const LayoutPlan& plan);
LayoutInfo BuildGptFromMbr(const LayoutPlan& plan);
LayoutInfo BuildMbrList(const LayoutPlan& plan);
// A style-0 target: one entry at sector 0, nothing is written as a table.
LayoutInfo BuildWholeDisk(const LayoutPlan& plan);

// Fills in both headers of a GPT layout for a disk of `sectorCount` sectors: positions, the
// disk GUID, the CRCs. False when the disk cannot hold it.
bool FinalizeGpt(std::vector<std::uint8_t>& buffer, std::uint32_t bytesPerSector,
                 std::uint64_t sectorCount, const std::uint8_t (&diskGuid)[16]);

// The sectors that carry an MBR list: the MBR's table (64 bytes, for sector 0) and each EBR
// sector with its position. CHS from the geometry, FE FF FF beyond it.
struct MbrSectors {
    std::uint8_t table[64] = {};
    struct Ebr {
        std::uint64_t lba = 0;
        std::vector<std::uint8_t> sector;
    };
    std::vector<Ebr> ebrs;
};
ErrorCode BuildMbrSectors(const std::uint8_t* entries, std::uint32_t count,
                          std::uint32_t bytesPerSector, std::uint32_t tracksPerCylinder,
                          std::uint64_t sectorCount, MbrSectors& out);
// The protective MBR's one entry.
void ProtectiveMbrEntry(std::uint64_t sectorCount, std::uint8_t (&entry)[16]);

// The system's layout requests (Windows writes the tables itself). An MBR list becomes one
// partition record per entry, in order: offsets and lengths in bytes, hidden sectors = start
// sector; containers (types 05, 0F) unnumbered and unrecognized, the others numbered from 1
// and recognized, boot from flag 80; an entry without sectors stays all zero; every record
// rewritten. kInvalidParameter unless the list is whole groups of four.
ErrorCode SystemMbrPartitions(const std::uint8_t* entries, std::uint32_t count,
                              std::uint32_t bytesPerSector, std::vector<PartitionEntry>& out);
// A finalized GPT layout (FinalizeGpt) as the disk's GUID, usable area, entry count and its
// used entries (type, GUID, attributes, name), numbered by their slot. kInvalidData for a buffer
// without a sound primary header.
ErrorCode SystemGptLayout(const std::vector<std::uint8_t>& buffer, std::uint32_t bytesPerSector,
                          DriveLayout& out);

// The partitions (start sector, sectors) a layout buffer describes, containers left out: what
// the target must show when its table is read back.
struct LayoutExtent {
    std::uint64_t start = 0, size = 0;
    bool operator==(const LayoutExtent&) const = default;
};
std::vector<LayoutExtent> LayoutExtents(const LayoutInfo& info, std::uint32_t bytesPerSector);

} // namespace tvd
