#include "storage/sim/simlayout.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "storage/partitiontableutil.h"
#include "storage/sim/simdrivespec.h"

namespace tvd {

namespace {

namespace mbr = mbrsector;

void EncodeChs(std::uint64_t lba, MutableByteView sector, std::size_t at) {
    constexpr std::uint64_t kHeads = 255, kSectors = 63;
    std::uint64_t c = lba / (kHeads * kSectors);
    std::uint64_t h = (lba / kSectors) % kHeads;
    std::uint64_t s = lba % kSectors + 1;
    if (c > 1023) { // past the CHS range: the customary maximum
        c = 1023;
        h = 254;
        s = 63;
    }
    StoreLe<std::uint8_t>(sector, at, static_cast<std::uint8_t>(h));
    StoreLe<std::uint8_t>(sector, at + 1, static_cast<std::uint8_t>(((c >> 2) & 0xC0) | s));
    StoreLe<std::uint8_t>(sector, at + 2, static_cast<std::uint8_t>(c & 0xFF));
}

// Out of line: GCC 12 warns falsely (-Wrestrict) on string assignments inlined into the parser.
[[gnu::noinline]] bool Refuse(std::string& message, std::initializer_list<std::string_view> parts) {
    message.clear();
    for (std::string_view p : parts)
        message.append(p);
    return false;
}

// One or two hexadecimal digits, not zero.
bool ParseTypeHex(std::string_view hex, unsigned& value) {
    if (hex.empty() || hex.size() > 2) return false;
    unsigned v = 0;
    for (char c : hex) {
        const char l = static_cast<char>(c | 0x20);
        if (c >= '0' && c <= '9')
            v = v * 16 + static_cast<unsigned>(c - '0');
        else if (l >= 'a' && l <= 'f')
            v = v * 16 + static_cast<unsigned>(l - 'a' + 10);
        else
            return false;
    }
    value = v;
    return v != 0;
}

} // namespace

ErrorCode BuildMbrSector(std::uint32_t signature, const std::vector<PartitionEntry>& partitions,
                         std::uint64_t capacity, std::uint32_t sectorSize, MutableByteView sector) {
    if (partitions.size() > 4 || sectorSize < mbr::kSize || sector.size() < mbr::kSize ||
        capacity < sectorSize)
        return err::kInvalidParameter;
    struct Span {
        std::uint64_t first, last;
    };
    std::vector<Span> used;
    std::uint8_t table[4 * mbr::kSlotSize] = {};
    const MutableByteView t(table);
    for (std::size_t i = 0; i < partitions.size(); ++i) {
        const PartitionEntry& p = partitions[i];
        if (p.length == 0 || p.mbrType == 0) continue;
        if (p.startingOffset % sectorSize || p.length % sectorSize ||
            p.startingOffset < sectorSize || p.startingOffset > capacity ||
            p.length > capacity - p.startingOffset)
            return err::kInvalidParameter;
        const std::uint64_t firstLba = p.startingOffset / sectorSize;
        const std::uint64_t sectors = p.length / sectorSize;
        if (firstLba > 0xFFFFFFFFu || sectors > 0xFFFFFFFFu) return err::kInvalidParameter;
        const Span s{firstLba, firstLba + sectors - 1};
        for (const Span& u : used)
            if (s.first <= u.last && u.first <= s.last) return err::kInvalidParameter;
        used.push_back(s);
        const std::size_t at = i * mbr::kSlotSize;
        StoreLe<std::uint8_t>(t, at + mbr::kBootIndicator, p.bootIndicator ? 0x80 : 0x00);
        EncodeChs(s.first, t, at + mbr::kChsFirst);
        StoreLe<std::uint8_t>(t, at + mbr::kType, p.mbrType);
        EncodeChs(s.last, t, at + mbr::kChsLast);
        StoreLe<std::uint32_t>(t, at + mbr::kFirstLba, static_cast<std::uint32_t>(firstLba));
        StoreLe<std::uint32_t>(t, at + mbr::kSectorCount, static_cast<std::uint32_t>(sectors));
    }
    StoreLe<std::uint32_t>(sector, mbr::kDiskSignature, signature);
    StoreLe<std::uint16_t>(sector, mbr::kDiskSignature + 4, 0);
    std::memcpy(sector.data() + mbr::kSlots, table, sizeof table);
    StoreLe<std::uint16_t>(sector, mbr::kBootMark, 0xAA55);
    return err::kSuccess;
}

bool ParseSimLayoutKey(std::string_view text, std::uint64_t capacity, std::uint32_t sectorSize,
                       std::vector<PartitionEntry>& entries, std::string& message) {
    entries.clear();
    if (text.size() < 4 || !inidetail::EqualNoCase(text.substr(0, 4), std::string_view("mbr:"))) {
        return Refuse(message, {"must start with \"mbr:\""});
    }
    std::string_view rest = text.substr(4);
    std::uint64_t next = std::max<std::uint64_t>(1 << 20, sectorSize);
    bool sawRest = false;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        rest = comma == rest.npos ? std::string_view() : rest.substr(comma + 1);
        while (!item.empty() && item.front() == ' ')
            item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ')
            item.remove_suffix(1);
        if (sawRest) {
            return Refuse(message, {"\"rest\" must be the last partition"});
        }
        if (entries.size() == 4) {
            return Refuse(message, {"an MBR holds at most four partitions"});
        }
        PartitionEntry e;
        e.mbrType = 0x07;
        if (const std::size_t slash = item.find('/'); slash != item.npos) {
            const std::string_view hex = item.substr(slash + 1);
            unsigned v = 0;
            if (!ParseTypeHex(hex, v)) {
                return Refuse(message, {"\"", hex, "\" is not a partition type (01 to FF)"});
            }
            e.mbrType = static_cast<std::uint8_t>(v);
            item = item.substr(0, slash);
        }
        std::uint64_t length = 0;
        if (inidetail::EqualNoCase(item, std::string_view("rest"))) {
            sawRest = true;
            length = capacity > next ? capacity - next : 0;
        } else if (!ParseSimSize(item, length) || length == 0 || length % sectorSize != 0) {
            return Refuse(message, {"\"", item, "\" is not a size of whole sectors"});
        }
        if (length == 0 || next > capacity || length > capacity - next) {
            return Refuse(message, {"the partitions do not fit the drive"});
        }
        e.startingOffset = next;
        e.length = length;
        e.recognized = true;
        e.number = static_cast<std::uint32_t>(entries.size() + 1);
        entries.push_back(e);
        next += length;
    }
    if (entries.empty()) {
        return Refuse(message, {"names no partition"});
    }
    return true;
}

} // namespace tvd
