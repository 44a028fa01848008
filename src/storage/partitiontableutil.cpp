#include "storage/partitiontableutil.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>
#include <vector>

#include "foundation/crc32util.h"

namespace tvd {

namespace {

namespace mbr = mbrsector;

// GPT header and entry fields (UEFI).
namespace gpt = gptsector;

struct MbrSlot {
    std::uint8_t boot = 0, type = 0;
    std::uint32_t firstLba = 0, sectors = 0;
    bool Empty() const { return type == 0 || sectors == 0; }
};

MbrSlot DecodeSlot(ByteView sector, int index) {
    const std::size_t base = mbr::kSlots + static_cast<std::size_t>(index) * mbr::kSlotSize;
    MbrSlot s;
    s.boot = Le<std::uint8_t>(sector, base + mbr::kBootIndicator);
    s.type = Le<std::uint8_t>(sector, base + mbr::kType);
    s.firstLba = Le<std::uint32_t>(sector, base + mbr::kFirstLba);
    s.sectors = Le<std::uint32_t>(sector, base + mbr::kSectorCount);
    return s;
}

bool HasBootMark(ByteView sector) {
    return Le<std::uint16_t>(sector, mbr::kBootMark) == 0xAA55;
}

// Boot indicators other than 00h and 80h mean the sector is boot code or a volume boot record,
// not a partition table.
bool SlotsPlausible(ByteView sector) {
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t b = DecodeSlot(sector, i).boot;
        if (b != 0x00 && b != 0x80) return false;
    }
    return true;
}

class DiskReader {
public:
    DiskReader(const SectorReadFn& read, std::uint32_t sectorSize, std::uint64_t diskBytes)
        : read_(read), sectorSize_(sectorSize), sectors_(diskBytes / sectorSize) {}

    std::uint32_t SectorSize() const { return sectorSize_; }
    // 0 when the disk's size is not known.
    std::uint64_t Sectors() const { return sectors_; }
    bool SizeKnown() const { return sectors_ != 0; }

    // True when the range of `count` sectors from `lba` lies on the disk (or the size is not
    // known) and its byte offset is representable.
    bool RangeValid(std::uint64_t lba, std::uint64_t count) const {
        if (count == 0) return false;
        const std::uint64_t limit = SizeKnown() ? sectors_ : MaxSectors();
        return lba < limit && count <= limit - lba;
    }
    bool OffsetOf(std::uint64_t lba, std::uint64_t& offset) const {
        if (lba > MaxSectors()) return false;
        offset = lba * sectorSize_;
        return true;
    }

    ErrorCode Read(std::uint64_t lba, std::uint64_t count, std::vector<std::uint8_t>& out) const {
        if (!RangeValid(lba, count)) return err::kInvalidData;
        if (count > kMaxGptEntryArrayBytes / sectorSize_ + 1) return err::kInvalidData;
        out.assign(static_cast<std::size_t>(count) * sectorSize_, 0);
        return read_(lba * sectorSize_, MutableByteView(out));
    }

private:
    std::uint64_t MaxSectors() const {
        return std::numeric_limits<std::uint64_t>::max() / sectorSize_;
    }
    const SectorReadFn& read_;
    std::uint32_t sectorSize_;
    std::uint64_t sectors_;
};

PartitionEntry MbrEntry(std::uint64_t offset, std::uint64_t length, std::uint8_t type, bool boot,
                        std::uint32_t number, std::uint32_t hiddenSectors) {
    PartitionEntry e;
    e.style = layoutstyle::kMbr;
    e.startingOffset = offset;
    e.length = length;
    e.mbrType = type;
    e.bootIndicator = boot;
    e.number = number;
    e.recognized = number != 0;
    e.hiddenSectors = hiddenSectors;
    return e;
}

// Follows one extended partition's EBR chain, appending four entries per EBR. Logical
// partitions that leave the container are left out; a link that leaves it, a sector without the
// boot mark, a link back to an EBR already read and the bound on EBRs all end the chain.
ErrorCode ReadEbrChain(const DiskReader& disk, const MbrSlot& container, std::uint32_t& nextNumber,
                       std::set<std::uint64_t>& visited, DriveLayout& out) {
    const std::uint64_t extStart = container.firstLba;
    const std::uint64_t extEnd = extStart + container.sectors;
    const std::uint32_t ss = disk.SectorSize();
    std::uint64_t ebr = extStart;
    std::vector<std::uint8_t> sector;
    // Every EBR counts against the bound, so that a chain of bare links ends as well.
    while (nextNumber < 5 + kMaxLogicalPartitions && visited.size() < kMaxLogicalPartitions &&
           visited.insert(ebr).second) {
        if (!disk.RangeValid(ebr, 1)) break;
        if (ErrorCode e = disk.Read(ebr, 1, sector); e != err::kSuccess) return e;
        const ByteView s(sector);
        if (!HasBootMark(s)) break;
        std::uint64_t next = 0;
        bool haveNext = false;
        for (int i = 0; i < 4; ++i) {
            const MbrSlot slot = DecodeSlot(s, i);
            PartitionEntry entry = MbrEntry(0, 0, 0, false, 0, 0);
            if (!slot.Empty() && IsExtendedMbrType(slot.type)) {
                const std::uint64_t link = extStart + slot.firstLba;
                if (!haveNext && slot.firstLba != 0 && link < extEnd) {
                    next = link;
                    haveNext = true;
                }
                std::uint64_t off = 0;
                if (disk.OffsetOf(link, off))
                    entry = MbrEntry(off, std::uint64_t(slot.sectors) * ss, slot.type, false, 0,
                                     slot.firstLba);
            } else if (!slot.Empty() && nextNumber < 5 + kMaxLogicalPartitions) {
                const std::uint64_t first = ebr + slot.firstLba;
                const std::uint64_t end = first + slot.sectors;
                std::uint64_t off = 0;
                if (first > ebr && end <= extEnd && disk.OffsetOf(first, off))
                    entry = MbrEntry(off, std::uint64_t(slot.sectors) * ss, slot.type,
                                     slot.boot == 0x80, nextNumber++, slot.firstLba);
            }
            out.partitions.push_back(entry);
        }
        if (!haveNext) break;
        ebr = next;
    }
    return err::kSuccess;
}

ErrorCode ReadMbr(const DiskReader& disk, ByteView mbrSector, DriveLayout& out) {
    DriveLayout layout;
    layout.style = layoutstyle::kMbr;
    layout.mbrSignature = Le<std::uint32_t>(mbrSector, mbr::kDiskSignature);
    const std::uint32_t ss = disk.SectorSize();
    MbrSlot slots[4];
    for (int i = 0; i < 4; ++i) {
        slots[i] = DecodeSlot(mbrSector, i);
        const MbrSlot& s = slots[i];
        if (s.Empty()) {
            layout.partitions.push_back(MbrEntry(0, 0, 0, false, 0, 0));
            continue;
        }
        const bool container = IsExtendedMbrType(s.type);
        layout.partitions.push_back(MbrEntry(
            std::uint64_t(s.firstLba) * ss, std::uint64_t(s.sectors) * ss, s.type,
            !container && s.boot == 0x80, container ? 0 : std::uint32_t(i + 1), s.firstLba));
    }
    std::uint32_t nextNumber = 5;
    std::set<std::uint64_t> visited;
    for (const MbrSlot& s : slots) {
        if (s.Empty() || !IsExtendedMbrType(s.type) || s.firstLba == 0) continue;
        if (ErrorCode e = ReadEbrChain(disk, s, nextNumber, visited, layout); e != err::kSuccess)
            return e;
    }
    out = std::move(layout);
    return err::kSuccess;
}

// A header at `lba` whose own fields agree with where it was found and with the disk, and whose
// entry array (read and CRC-checked) lies on the disk outside the header.
ErrorCode ReadGptAt(const DiskReader& disk, std::uint64_t lba, GptHeader& header,
                    std::vector<std::uint8_t>& entries, bool& valid) {
    valid = false;
    std::vector<std::uint8_t> sector;
    if (ErrorCode e = disk.Read(lba, 1, sector); e != err::kSuccess) return e;
    GptHeader h;
    if (!DecodeGptHeader(sector, h) || h.currentLba != lba) return err::kSuccess;
    if (h.firstUsableLba > h.lastUsableLba || h.firstUsableLba < 2) return err::kSuccess;
    if (disk.SizeKnown() && h.lastUsableLba >= disk.Sectors()) return err::kSuccess;
    if (h.entrySize < gpt::kMinEntrySize || h.entrySize % 8 != 0 || h.entryCount == 0 ||
        h.entryCount > kMaxGptEntries)
        return err::kSuccess;
    const std::uint64_t arrayBytes = std::uint64_t(h.entrySize) * h.entryCount;
    if (arrayBytes > kMaxGptEntryArrayBytes) return err::kSuccess;
    const std::uint32_t ss = disk.SectorSize();
    const std::uint64_t arraySectors = (arrayBytes + ss - 1) / ss;
    if (h.entryLba < 2 || !disk.RangeValid(h.entryLba, arraySectors)) return err::kSuccess;
    if (h.entryLba <= lba && lba < h.entryLba + arraySectors) return err::kSuccess;
    std::vector<std::uint8_t> array;
    if (ErrorCode e = disk.Read(h.entryLba, arraySectors, array); e != err::kSuccess) return e;
    array.resize(static_cast<std::size_t>(arrayBytes));
    if (Crc32(array.data(), array.size()) != h.entryArrayCrc) return err::kSuccess;
    header = h;
    entries = std::move(array);
    valid = true;
    return err::kSuccess;
}

bool AllZero(ByteView b) {
    return std::all_of(b.begin(), b.end(), [](std::uint8_t v) { return v == 0; });
}

void BuildGptLayout(const DiskReader& disk, const GptHeader& h,
                    const std::vector<std::uint8_t>& entries, DriveLayout& out) {
    const std::uint32_t ss = disk.SectorSize();
    DriveLayout layout;
    layout.style = layoutstyle::kGpt;
    std::memcpy(layout.gptDiskId, h.diskGuid, sizeof layout.gptDiskId);
    disk.OffsetOf(h.firstUsableLba, layout.gptStartingUsableOffset);
    const std::uint64_t usable = h.lastUsableLba - h.firstUsableLba + 1;
    layout.gptUsableLength = usable <= std::numeric_limits<std::uint64_t>::max() / ss
                                 ? usable * ss
                                 : std::numeric_limits<std::uint64_t>::max();
    layout.gptMaxPartitionCount = h.entryCount;
    const ByteView all(entries);
    for (std::uint32_t i = 0; i < h.entryCount; ++i) {
        const ByteView e = all.subspan(std::size_t(i) * h.entrySize, h.entrySize);
        if (AllZero(e.subspan(gpt::kTypeGuid, 16))) continue;
        const std::uint64_t first = Le<std::uint64_t>(e, gpt::kFirstLba);
        const std::uint64_t last = Le<std::uint64_t>(e, gpt::kLastLba);
        if (first > last || !disk.RangeValid(first, last - first + 1)) continue;
        PartitionEntry p;
        p.style = layoutstyle::kGpt;
        if (!disk.OffsetOf(first, p.startingOffset)) continue;
        p.length = (last - first + 1) * ss;
        p.number = i + 1;
        p.recognized = true;
        std::memcpy(p.gptType, e.data() + gpt::kTypeGuid, 16);
        std::memcpy(p.gptId, e.data() + gpt::kUniqueGuid, 16);
        p.gptAttributes = Le<std::uint64_t>(e, gpt::kAttributes);
        for (std::size_t u = 0; u < gpt::kNameUnits; ++u) {
            const auto c = Le<std::uint16_t>(e, gpt::kName + 2 * u);
            if (c == 0) break;
            p.gptName.push_back(static_cast<char16_t>(c));
        }
        layout.partitions.push_back(std::move(p));
    }
    out = std::move(layout);
}

// Primary header at LBA 1, else the backup: at the last sector, or where a primary with a sound
// header names it (a disk grown after partitioning keeps its backup inside; with the size not
// known that is the only place to look).
ErrorCode ReadGpt(const DiskReader& disk, bool& found, DriveLayout& out) {
    found = false;
    GptHeader h;
    std::vector<std::uint8_t> entries;
    bool valid = false;
    if (ErrorCode e = ReadGptAt(disk, 1, h, entries, valid); e != err::kSuccess) return e;
    if (!valid) {
        std::vector<std::uint64_t> candidates;
        if (disk.SizeKnown()) candidates.push_back(disk.Sectors() - 1);
        std::vector<std::uint8_t> sector;
        GptHeader primary;
        if (ErrorCode e = disk.Read(1, 1, sector); e != err::kSuccess) return e;
        if (DecodeGptHeader(sector, primary) && primary.currentLba == 1 &&
            (candidates.empty() || candidates[0] != primary.backupLba))
            candidates.push_back(primary.backupLba);
        for (std::size_t i = 0; i < candidates.size() && !valid; ++i) {
            if (candidates[i] <= 1 || !disk.RangeValid(candidates[i], 1)) continue;
            if (ErrorCode e = ReadGptAt(disk, candidates[i], h, entries, valid); e != err::kSuccess)
                return e;
        }
    }
    if (!valid) return err::kSuccess;
    BuildGptLayout(disk, h, entries, out);
    found = true;
    return err::kSuccess;
}

} // namespace

bool DecodeGptHeader(ByteView sector, GptHeader& out) {
    if (Le<std::uint64_t>(sector, gpt::kSignatureOff) != gpt::kSignature) return false;
    const auto size = Le<std::uint32_t>(sector, gpt::kHeaderSize);
    if (size < gpt::kMinHeaderSize || size > sector.size()) return false;
    std::vector<std::uint8_t> copy(sector.begin(), sector.begin() + size);
    StoreLe<std::uint32_t>(copy, gpt::kHeaderCrc, 0);
    if (Crc32(copy.data(), copy.size()) != Le<std::uint32_t>(sector, gpt::kHeaderCrc)) return false;
    GptHeader h;
    h.revision = Le<std::uint32_t>(sector, gpt::kRevision);
    h.headerSize = size;
    h.currentLba = Le<std::uint64_t>(sector, gpt::kCurrentLba);
    h.backupLba = Le<std::uint64_t>(sector, gpt::kBackupLba);
    h.firstUsableLba = Le<std::uint64_t>(sector, gpt::kFirstUsable);
    h.lastUsableLba = Le<std::uint64_t>(sector, gpt::kLastUsable);
    std::memcpy(h.diskGuid, sector.data() + gpt::kDiskGuid, 16);
    h.entryLba = Le<std::uint64_t>(sector, gpt::kEntryLba);
    h.entryCount = Le<std::uint32_t>(sector, gpt::kEntryCount);
    h.entrySize = Le<std::uint32_t>(sector, gpt::kEntrySize);
    h.entryArrayCrc = Le<std::uint32_t>(sector, gpt::kEntryArrayCrc);
    out = h;
    return true;
}

bool IsExtendedMbrType(std::uint8_t type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

ErrorCode ReadDriveLayout(const SectorReadFn& read, std::uint32_t sectorSize,
                          std::uint64_t diskBytes, DriveLayout& out) {
    out = DriveLayout{};
    if (!read || sectorSize < 512 || sectorSize > 4096 || (sectorSize & (sectorSize - 1)) != 0)
        return err::kInvalidParameter;
    if (diskBytes != 0 && diskBytes < sectorSize) return err::kInvalidParameter;
    const DiskReader disk(read, sectorSize, diskBytes);
    std::vector<std::uint8_t> sector0;
    if (ErrorCode e = disk.Read(0, 1, sector0); e != err::kSuccess) return e;
    const ByteView s(sector0);
    if (!HasBootMark(s) || !SlotsPlausible(s)) return err::kSuccess;
    bool protective = false;
    for (int i = 0; i < 4; ++i)
        protective = protective || DecodeSlot(s, i).type == mbr::kProtectiveType;
    if (protective) {
        bool found = false;
        if (ErrorCode e = ReadGpt(disk, found, out); e != err::kSuccess || found) {
            if (e != err::kSuccess) out = DriveLayout{};
            return e;
        }
    }
    return ReadMbr(disk, s, out);
}

const PartitionEntry* FindLayoutPartition(const DriveLayout& layout, std::uint64_t offset) {
    for (const PartitionEntry& p : layout.partitions)
        if (p.number != 0 && p.length != 0 && p.startingOffset == offset) return &p;
    return nullptr;
}

} // namespace tvd
