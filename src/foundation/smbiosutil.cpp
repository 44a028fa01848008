// SMBIOS structure walking and field decoding. The table comes from firmware and is trusted for
// nothing: every read is bounded by the table end, and a walk always moves forward.
#include "foundation/smbiosutil.h"

#include <algorithm>

namespace tvd {

namespace {

constexpr std::uint8_t kEndOfTable = 127;
constexpr std::size_t kStructHeaderSize = 4; // type, length, handle

// End of the structure area: the blob's size, or less when its Length field says so.
std::size_t TableEnd(ByteView blob) {
    std::uint32_t length = 0;
    if (!LoadLe(blob, 4, length)) return 0;
    const std::uint64_t declared = std::uint64_t(length) + kSmbiosHeaderSize;
    return declared < blob.size() ? static_cast<std::size_t>(declared) : blob.size();
}

struct Structure {
    std::size_t offset = 0;
    std::uint8_t type = 0;
    std::uint8_t length = 0; // formatted part, header included
    std::uint16_t handle = 0;
    std::size_t stringsEnd = 0; // one past the double NUL; 0 when the string set is unterminated
};

// The structure at `offset`, when its header and formatted part lie inside the table.
std::optional<Structure> StructureAt(ByteView blob, std::int64_t offset) {
    const std::size_t end = TableEnd(blob);
    if (offset < static_cast<std::int64_t>(kSmbiosHeaderSize)) return std::nullopt;
    const auto off = static_cast<std::uint64_t>(offset);
    if (off >= end || !InBounds(end, off, kStructHeaderSize)) return std::nullopt;
    Structure s;
    s.offset = static_cast<std::size_t>(off);
    s.type = blob[s.offset];
    s.length = blob[s.offset + 1];
    s.handle = Le<std::uint16_t>(blob, s.offset + 2);
    if (s.length < kStructHeaderSize || !InBounds(end, s.offset, s.length)) return std::nullopt;
    for (std::size_t p = s.offset + s.length; p + 1 < end; ++p) {
        if (blob[p] == 0 && blob[p + 1] == 0) {
            s.stringsEnd = p + 2;
            break;
        }
    }
    return s;
}

} // namespace

bool SmbiosBlobValid(ByteView blob) {
    std::uint32_t length = 0;
    return LoadLe(blob, 4, length) && std::uint64_t(length) + kSmbiosHeaderSize == blob.size();
}

std::vector<std::uint8_t> MakeSmbiosBlob(std::uint8_t major, std::uint8_t minor,
                                         ByteView structures) {
    std::vector<std::uint8_t> blob(kSmbiosHeaderSize + structures.size());
    blob[1] = major;
    blob[2] = minor;
    StoreLe<std::uint32_t>(blob, 4, static_cast<std::uint32_t>(structures.size()));
    std::copy(structures.begin(), structures.end(), blob.begin() + kSmbiosHeaderSize);
    return blob;
}

std::int64_t NextSmbiosStructure(ByteView blob, std::int64_t offset) {
    auto s = StructureAt(blob, offset);
    if (!s || s->stringsEnd == 0 || s->stringsEnd >= TableEnd(blob)) return -1;
    return static_cast<std::int64_t>(s->stringsEnd);
}

std::int64_t FindSmbiosStructure(ByteView blob, std::int64_t offset, std::uint8_t type,
                                 std::uint16_t handle) {
    if (offset < 0) return -1;
    // Walk from the first structure so that an offset inside a structure never gets decoded as
    // one; each step moves past at least a header and a double NUL, so the walk ends.
    std::int64_t at = static_cast<std::int64_t>(kSmbiosHeaderSize);
    while (at >= 0) {
        auto s = StructureAt(blob, at);
        if (!s) return -1;
        if (at >= offset && s->type == type && (handle == 0 || s->handle == handle)) return at;
        if (s->type == kEndOfTable) return -1;
        at = NextSmbiosStructure(blob, at);
    }
    return -1;
}

std::optional<std::string_view> SmbiosString(ByteView blob, std::int64_t structOffset,
                                             std::uint8_t index) {
    if (index == 0) return std::nullopt;
    auto s = StructureAt(blob, structOffset);
    if (!s || s->stringsEnd == 0) return std::nullopt;
    const std::size_t last = s->stringsEnd - 1; // the set's final NUL
    std::size_t p = s->offset + s->length;
    for (std::uint8_t i = 1; p < last && blob[p] != 0; ++i) {
        std::size_t e = p;
        while (blob[e] != 0)
            ++e; // stops at the double NUL at the latest
        if (i == index)
            return std::string_view(reinterpret_cast<const char*>(blob.data() + p), e - p);
        p = e + 1;
        if (i == 255) break;
    }
    return std::nullopt;
}

namespace {

template <class T>
std::optional<T> FormattedField(ByteView blob, std::int64_t structOffset, std::size_t field) {
    auto s = StructureAt(blob, structOffset);
    if (!s || !InBounds(s->length, field, sizeof(T))) return std::nullopt;
    return Le<T>(blob, s->offset + field);
}

} // namespace

std::optional<std::uint8_t> SmbiosByte(ByteView blob, std::int64_t structOffset,
                                       std::size_t field) {
    return FormattedField<std::uint8_t>(blob, structOffset, field);
}

std::optional<std::uint16_t> SmbiosWord(ByteView blob, std::int64_t structOffset,
                                        std::size_t field) {
    return FormattedField<std::uint16_t>(blob, structOffset, field);
}

std::optional<std::uint32_t> SmbiosDword(ByteView blob, std::int64_t structOffset,
                                         std::size_t field) {
    return FormattedField<std::uint32_t>(blob, structOffset, field);
}

std::optional<std::string_view> SmbiosFieldString(ByteView blob, std::int64_t structOffset,
                                                  std::size_t field) {
    auto index = SmbiosByte(blob, structOffset, field);
    if (!index) return std::nullopt;
    return SmbiosString(blob, structOffset, *index);
}

std::uint64_t SmbiosMemorySize(ByteView blob, std::int64_t structOffset) {
    constexpr std::uint8_t kMemoryDevice = 17;
    auto type = SmbiosByte(blob, structOffset, 0);
    auto size = SmbiosWord(blob, structOffset, 12);
    if (!type || *type != kMemoryDevice || !size) return 0;
    if (*size == 0 || *size == 0xFFFF) return 0;
    if (*size == 0x7FFF) {
        // Extended size in MiB; its top bit is reserved.
        auto extended = SmbiosDword(blob, structOffset, 28);
        return extended ? std::uint64_t(*extended & 0x7FFFFFFFu) << 20 : 0;
    }
    const std::uint64_t units = *size & 0x7FFFu;
    return (*size & 0x8000u) ? units << 10 : units << 20;
}

const char* SmbiosBoardTypeName(std::uint8_t type) {
    switch (type) {
    case 2:
        return "Other";
    case 10:
        return "MotherBoard";
    default:
        return "Unknown";
    }
}

const char* SmbiosChassisTypeName(std::uint8_t type) {
    switch (type) {
    case 1:
        return "Other";
    case 3:
        return "Desktop";
    case 4:
        return "Low Profile Desktop";
    case 5:
        return "Pizza Box";
    case 6:
        return "Mini Tower";
    case 7:
        return "Tower";
    case 8:
        return "Portable";
    case 9:
        return "Laptop";
    case 10:
        return "Notbook";
    default:
        return "Unknown";
    }
}

const char* SmbiosMemoryTypeName(std::uint8_t type) {
    switch (type) {
    case 1:
        return "Other";
    case 2:
        return "Unknown";
    case 3:
        return "DRAM";
    case 4:
        return "EDRAM";
    case 5:
        return "VRAM";
    case 6:
        return "SRAM";
    case 7:
        return "RAM";
    case 8:
        return "ROM";
    case 9:
        return "FLASH";
    case 10:
        return "EEPROM";
    case 11:
        return "FEPROM";
    case 12:
        return "EPROM";
    case 13:
        return "CDRAM";
    case 14:
        return "3DRAM";
    case 15:
        return "SDRAM";
    case 16:
        return "SGRAM";
    case 17:
        return "RDRAM";
    case 18:
        return "DDR";
    case 19:
        return "DDR2";
    case 20:
        return "DDR2 FB-DIMM";
    case 24:
        return "DDR3";
    case 25:
        return "FBD2";
    case 26:
        return "DDR4";
    case 27:
        return "LPDDR";
    case 28:
        return "LPDDR2";
    case 29:
        return "LPDDR3";
    case 30:
        return "LPDDR4";
    case 31:
        return "Logical";
    case 32:
        return "HBM";
    case 33:
        return "HBM2";
    case 34:
        return "DDR5";
    case 35:
        return "LPDDR5";
    default:
        return nullptr;
    }
}

} // namespace tvd
