// The identity a monitor's EDID base block gives: maker id, product code, serial number, the
// name and serial texts of its display descriptors. Only the 128-byte base block is read;
// extension blocks and timings are not the report's business.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "foundation/bytesutil.h"

namespace tvd {

inline constexpr std::size_t kEdidBlockSize = 128;
// Largest EDID the gatherers read (base block and up to 255 extensions).
inline constexpr std::size_t kEdidMaxSize = 256 * kEdidBlockSize;

struct EdidIdentity {
    std::string makerId; // three letters, "?" for a code outside A-Z
    std::uint16_t productCode = 0;
    std::uint32_t serialNumber = 0;
    std::uint8_t week = 0;
    std::uint16_t year = 0; // model year when week is 0xFF
    std::uint8_t version = 0, revision = 0;
    bool checksumOk = false;
    std::optional<std::string> name;       // display descriptor FCh
    std::optional<std::string> serialText; // display descriptor FFh
    std::uint8_t extensions = 0;
};

// None when `edid` is shorter than a base block or lacks the fixed header. A wrong checksum
// still decodes (monitors with a bad sum exist) and says so.
std::optional<EdidIdentity> DecodeEdid(ByteView edid);

} // namespace tvd
