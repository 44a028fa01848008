// The drive details rows: the ATA IDENTIFY DEVICE words and the NVMe Identify Controller bytes,
// field by field, as constant tables with one formatter per field. The window and the command
// line both show the rows this unit builds.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/bytesutil.h"

namespace tvd {

enum class DetailFormat : std::uint8_t {
    // ATA words
    kAtaRaw,   // "%04X " per word, rows of 16 words
    kAtaWord,  // [w]  "0x%04X (%i)"
    kAtaDword, // [d]  "0x%08X (%u)", first word low
    kAtaQword, // [q]  "0x%016llX (%lld)", first word lowest
    kAtaHex,   // [h]  each word's bytes, high first
    kAtaText,  // [s]  two characters per word, high byte first
    // NVMe bytes
    kNvmeRaw,      // "%02X " per byte, rows of 32 bytes
    kNvmeByte,     // [b]  "0x%02X"
    kNvmeWord,     // [w]  "0x%04X"
    kNvmeDword,    // [d]  "0x%08X"
    kNvmeWordInt,  // [wi] "0x%04X (%i)"
    kNvmeDwordInt, // [di] "0x%08X (%i)", signed
    kNvmeOcta,     // [o]  16 bytes, most significant first, then the low 64 bits in decimal
    kNvmeText,     // [s]  the bytes as text
};

// One field: inclusive positions (words for ATA, bytes for NVMe), its format, the short name
// (NVMe only, ASCII) and the description.
struct DetailField {
    std::uint16_t first;
    std::uint16_t last;
    DetailFormat format;
    const char* name;
    const char16_t* description;
};

inline constexpr std::size_t kAtaDetailWords = 256;
inline constexpr std::size_t kNvmeDetailBytes = 4096;
inline constexpr std::size_t kAtaRawWordsPerRow = 16;
inline constexpr std::size_t kNvmeRawBytesPerRow = 32;

std::span<const DetailField> AtaDetailFields();  // 99 rows over words 0-255
std::span<const DetailField> NvmeDetailFields(); // 97 rows over bytes 0-4095

bool IsRawDetailFormat(DetailFormat format);
// The format's code as the tables write it: "" for raw, else "w", "d", "q", "h", "s", "b", "wi",
// "di", "o".
const char* DetailFormatCode(DetailFormat format);

// The value text of one field's bytes (the whole field for a formatted one, one row's share for
// raw). A text stops at its first zero byte or at the end of the bytes given; a numeric format
// given fewer bytes than it needs answers "".
std::string FormatDetailValue(DetailFormat format, ByteView bytes);

struct DetailRow {
    std::uint16_t first = 0; // positions this row shows, inclusive
    std::uint16_t last = 0;
    std::string position;            // "%i", or "%i..%i" when first and last differ
    std::string_view name;           // empty on a raw field's continuation rows
    std::string value;               // ASCII, except text fields: the drive's bytes
    std::u16string_view description; // empty on continuation rows
    const DetailField* field = nullptr;
};

// Rows of the IDENTIFY DEVICE data and of the Identify Controller data, only from the bytes given:
// a formatted field appears when all its bytes are there, a raw field with the units that are.
std::vector<DetailRow> BuildAtaDetailRows(ByteView identify);
std::vector<DetailRow> BuildNvmeDetailRows(ByteView controller);

} // namespace tvd
