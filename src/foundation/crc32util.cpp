// CRC-32 (IEEE 802.3, reflected), table-driven.
#include "foundation/crc32util.h"

#include <array>

namespace tvd {

namespace {

// Built on first use; a function-local static is initialised once even with several threads.
const std::array<std::uint32_t, 256>& CrcTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

} // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t length) {
    if (data == nullptr) return crc;
    const auto& table = CrcTable();
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::uint32_t c = ~crc;
    for (std::size_t i = 0; i < length; ++i)
        c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return ~c;
}

std::uint32_t Crc32(const void* data, std::size_t length) {
    return Crc32Update(0, data, length);
}

} // namespace tvd
