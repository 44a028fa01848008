// Builds partition tables on a sparse in-memory disk for tests: MBR slots, EBR chains, and GPT
// with protective MBR, both headers and both entry arrays with their CRCs. Every field can be
// set to a wrong value afterwards, so a test can show what damage the reader survives.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/crc32util.h"
#include "foundation/errorcodes.h"
#include "storage/partitiontableutil.h"

namespace tvd::test {

// A disk of `sectors` sectors whose unwritten sectors read as zeros.
class SparseDisk {
public:
    SparseDisk(std::uint32_t sectorSize, std::uint64_t sectors)
        : sectorSize_(sectorSize), sectors_(sectors) {}

    std::uint32_t SectorSize() const { return sectorSize_; }
    std::uint64_t Sectors() const { return sectors_; }
    std::uint64_t Bytes() const { return sectors_ * sectorSize_; }

    MutableByteView Sector(std::uint64_t lba) {
        auto& s = data_[lba];
        if (s.empty()) s.assign(sectorSize_, 0);
        return MutableByteView(s);
    }
    void Write(std::uint64_t offset, ByteView bytes) {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            Sector((offset + i) / sectorSize_)[(offset + i) % sectorSize_] = bytes[i];
    }
    void FailSector(std::uint64_t lba) { failing_.insert(lba); }
    // The disk becomes larger, as an image or a RAID volume that was extended.
    void Grow(std::uint64_t sectors) { sectors_ = sectors; }

    // Reads outside the disk are refused and counted: the reader must never issue one.
    ErrorCode Read(std::uint64_t offset, MutableByteView out) const {
        ++reads_;
        if (offset > Bytes() || out.size() > Bytes() - offset) {
            ++outside_;
            return err::kHandleEof;
        }
        for (std::size_t i = 0; i < out.size(); ++i) {
            const std::uint64_t lba = (offset + i) / sectorSize_;
            if (failing_.count(lba)) return err::kIoDevice;
            const auto it = data_.find(lba);
            out[i] = it == data_.end() ? 0 : it->second[(offset + i) % sectorSize_];
        }
        return err::kSuccess;
    }
    SectorReadFn Reader() const {
        return [this](std::uint64_t offset, MutableByteView out) { return Read(offset, out); };
    }
    int Reads() const { return reads_; }
    int OutsideReads() const { return outside_; }

private:
    std::uint32_t sectorSize_;
    std::uint64_t sectors_;
    std::map<std::uint64_t, std::vector<std::uint8_t>> data_;
    std::set<std::uint64_t> failing_;
    mutable int reads_ = 0, outside_ = 0;
};

struct MbrSlotSpec {
    std::uint8_t type = 0;
    std::uint32_t firstLba = 0, sectors = 0;
    bool boot = false;
};

// One MBR or EBR sector: up to four slots and the 55h AAh mark.
inline void WriteMbrSector(SparseDisk& disk, std::uint64_t lba, std::uint32_t signature,
                           const std::vector<MbrSlotSpec>& slots) {
    MutableByteView s = disk.Sector(lba);
    StoreLe<std::uint32_t>(s, 440, signature);
    for (std::size_t i = 0; i < slots.size() && i < 4; ++i) {
        const std::size_t b = 446 + 16 * i;
        s[b] = slots[i].boot ? 0x80 : 0x00;
        s[b + 4] = slots[i].type;
        StoreLe<std::uint32_t>(s, b + 8, slots[i].firstLba);
        StoreLe<std::uint32_t>(s, b + 12, slots[i].sectors);
    }
    StoreLe<std::uint16_t>(s, 510, 0xAA55);
}

struct LogicalSpec {
    std::uint32_t ebrLba = 0;                // absolute
    std::uint32_t firstLba = 0, sectors = 0; // absolute
    std::uint8_t type = 0x83;
};

// The EBR chain of an extended partition starting at `extStart`, linked in the given order.
inline void WriteEbrChain(SparseDisk& disk, std::uint32_t extStart,
                          const std::vector<LogicalSpec>& logicals) {
    for (std::size_t i = 0; i < logicals.size(); ++i) {
        const LogicalSpec& l = logicals[i];
        std::vector<MbrSlotSpec> slots{{l.type, l.firstLba - l.ebrLba, l.sectors}};
        if (i + 1 < logicals.size()) {
            const LogicalSpec& n = logicals[i + 1];
            slots.push_back({0x05, n.ebrLba - extStart, n.firstLba + n.sectors - n.ebrLba});
        }
        WriteMbrSector(disk, l.ebrLba, 0, slots);
    }
}

using GuidBytes = std::array<std::uint8_t, 16>;

// "C12A7328-F81F-11D2-BA4B-00A0C93EC93B" in its stored (mixed-endian) form.
inline GuidBytes GuidFromText(std::string_view t) {
    auto hex = [&](std::size_t pos) {
        auto nib = [](char c) { return std::uint8_t(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10); };
        return std::uint8_t(nib(t[pos]) << 4 | nib(t[pos + 1]));
    };
    static constexpr std::size_t kPos[16] = {6,  4,  2,  0,  11, 9,  16, 14,
                                             19, 21, 24, 26, 28, 30, 32, 34};
    GuidBytes g{};
    for (std::size_t i = 0; i < 16; ++i)
        g[i] = hex(kPos[i]);
    return g;
}

inline const GuidBytes kEspType = GuidFromText("C12A7328-F81F-11D2-BA4B-00A0C93EC93B");
inline const GuidBytes kMsrType = GuidFromText("E3C9E316-0B5C-4DB8-817D-F92DF00215AE");
inline const GuidBytes kBasicDataType = GuidFromText("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
inline const GuidBytes kRecoveryType = GuidFromText("DE94BBA4-06D1-4D40-A16A-BFD50179D6AC");
inline const GuidBytes kLinuxDataType = GuidFromText("0FC63DAF-8483-4772-8E79-3D69D8477DE4");

struct GptPartSpec {
    GuidBytes type{}, id{};
    std::uint64_t firstLba = 0, lastLba = 0, attributes = 0;
    std::u16string name;
    std::uint32_t index = 0; // entry slot in the array
};

struct GptSpec {
    GuidBytes diskId = GuidFromText("11223344-5566-7788-99AA-BBCCDDEEFF00");
    std::uint32_t entryCount = 128, entrySize = 128;
    std::vector<GptPartSpec> parts;
};

// Where a GPT written by WriteGpt keeps its pieces, for tests that damage one of them.
struct GptPlacement {
    std::uint64_t primaryHeader = 1, primaryArray = 2, backupArray = 0, backupHeader = 0;
    std::uint64_t arraySectors = 0;
};

inline void SealGptHeader(MutableByteView h) {
    const std::uint32_t size = Le<std::uint32_t>(h, 12);
    StoreLe<std::uint32_t>(h, 16, 0);
    StoreLe<std::uint32_t>(h, 16, Crc32(h.data(), size));
}

inline GptPlacement WriteGpt(SparseDisk& disk, const GptSpec& spec) {
    const std::uint32_t ss = disk.SectorSize();
    const std::uint64_t last = disk.Sectors() - 1;
    GptPlacement at;
    at.arraySectors = (std::uint64_t(spec.entryCount) * spec.entrySize + ss - 1) / ss;
    at.backupHeader = last;
    at.backupArray = last - at.arraySectors;
    const std::uint64_t lastSector32 = last > 0xFFFFFFFFu ? 0xFFFFFFFFu : last;
    WriteMbrSector(disk, 0, 0, {{0xEE, 1, std::uint32_t(lastSector32)}});

    std::vector<std::uint8_t> array(std::size_t(spec.entryCount) * spec.entrySize, 0);
    for (const GptPartSpec& p : spec.parts) {
        const std::size_t b = std::size_t(p.index) * spec.entrySize;
        std::memcpy(&array[b], p.type.data(), 16);
        std::memcpy(&array[b + 16], p.id.data(), 16);
        StoreLe<std::uint64_t>(array, b + 32, p.firstLba);
        StoreLe<std::uint64_t>(array, b + 40, p.lastLba);
        StoreLe<std::uint64_t>(array, b + 48, p.attributes);
        for (std::size_t u = 0; u < p.name.size() && u < 36; ++u)
            StoreLe<std::uint16_t>(array, b + 56 + 2 * u, std::uint16_t(p.name[u]));
    }
    const std::uint32_t arrayCrc = Crc32(array.data(), array.size());
    disk.Write(at.primaryArray * ss, array);
    disk.Write(at.backupArray * ss, array);

    auto header = [&](std::uint64_t self, std::uint64_t other, std::uint64_t arrayLba) {
        MutableByteView h = disk.Sector(self);
        std::memcpy(h.data(), "EFI PART", 8);
        StoreLe<std::uint32_t>(h, 8, 0x00010000);
        StoreLe<std::uint32_t>(h, 12, 92);
        StoreLe<std::uint64_t>(h, 24, self);
        StoreLe<std::uint64_t>(h, 32, other);
        StoreLe<std::uint64_t>(h, 40, 2 + at.arraySectors);
        StoreLe<std::uint64_t>(h, 48, at.backupArray - 1);
        std::memcpy(h.data() + 56, spec.diskId.data(), 16);
        StoreLe<std::uint64_t>(h, 72, arrayLba);
        StoreLe<std::uint32_t>(h, 80, spec.entryCount);
        StoreLe<std::uint32_t>(h, 84, spec.entrySize);
        StoreLe<std::uint32_t>(h, 88, arrayCrc);
        SealGptHeader(h);
    };
    header(1, last, at.primaryArray);
    header(last, 1, at.backupArray);
    return at;
}

} // namespace tvd::test
