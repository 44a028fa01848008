// The standard CRC-32 (reflected 0x04C11DB7, initial value and final XOR 0xFFFFFFFF).
#pragma once
#include <cstddef>
#include <cstdint>

namespace tvd {

std::uint32_t Crc32(const void* data, std::size_t length);
// Continues a CRC over more bytes: Crc32Update(Crc32(a), b) == Crc32(a + b).
std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t length);

} // namespace tvd
