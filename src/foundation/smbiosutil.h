// SMBIOS table access. A table is the raw firmware blob as Windows returns it: an 8-byte header
// (calling method, major version, minor version, DMI revision, 32-bit Length) followed by Length
// bytes of structures. Offsets below are offsets into that blob; the first structure is at 8.
// Every walk is bounded by the table; a field outside its structure's formatted part is "none".
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

namespace tvd {

inline constexpr std::size_t kSmbiosHeaderSize = 8;

// True when the blob's Length field plus 8 equals its size.
bool SmbiosBlobValid(ByteView blob);
// Builds a blob from a bare structure table and its version (for platforms that deliver them
// apart, and for tests).
std::vector<std::uint8_t> MakeSmbiosBlob(std::uint8_t major, std::uint8_t minor,
                                         ByteView structures);

// Reads the machine's table: Windows GetSystemFirmwareTable('RSMB') or the registry before Vista;
// Linux /sys/firmware/dmi/tables (needs root). kFileNotFound or kAccessDenied when unavailable,
// kInvalidData when the blob's length does not match.
ErrorCode ReadSmbios(std::vector<std::uint8_t>& blob);

// Offset of the first structure at or after `offset` with that type (and handle when non-zero),
// or -1. Stops at type 127, at a structure shorter than 4 bytes, and at the end of the table.
std::int64_t FindSmbiosStructure(ByteView blob, std::int64_t offset, std::uint8_t type,
                                 std::uint16_t handle = 0);
// Offset of the structure after the one at `offset`, or -1.
std::int64_t NextSmbiosStructure(ByteView blob, std::int64_t offset);
// The index-th string (1-based) of the structure's string set; none for 0 or a missing string.
std::optional<std::string_view> SmbiosString(ByteView blob, std::int64_t structOffset,
                                             std::uint8_t index);
// Formatted-part fields; none when the structure is too short for them.
std::optional<std::uint8_t> SmbiosByte(ByteView blob, std::int64_t structOffset, std::size_t field);
std::optional<std::uint16_t> SmbiosWord(ByteView blob, std::int64_t structOffset,
                                        std::size_t field);
std::optional<std::uint32_t> SmbiosDword(ByteView blob, std::int64_t structOffset,
                                         std::size_t field);
// String referenced by the byte at `field` of the structure.
std::optional<std::string_view> SmbiosFieldString(ByteView blob, std::int64_t structOffset,
                                                  std::size_t field);
// Size in bytes of a memory device (type 17) structure; 0 for empty or unknown.
std::uint64_t SmbiosMemorySize(ByteView blob, std::int64_t structOffset);

// Report names. Board and chassis types outside the table are "Unknown"; memory types outside
// the table have no name (nullptr).
const char* SmbiosBoardTypeName(std::uint8_t type);
const char* SmbiosChassisTypeName(std::uint8_t type);
const char* SmbiosMemoryTypeName(std::uint8_t type);

} // namespace tvd
