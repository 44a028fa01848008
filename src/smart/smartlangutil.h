// The SMART attribute-name resource: per-language UTF-16 INI texts, tree-coded, in a container
// with a trailing directory; the tables loaded from it and the name lookups.
//
// Container: the last 4 bytes hold the entry count N; the N 16-byte entries before them are the
// directory (language id, data offset from the start, decoded size, coded size; all 32-bit LE).
// Tree code: an MSB-first bit stream that starts with the code tree (1 = leaf + 8-bit byte;
// 0 = inner node, then a presence bit and the left subtree, a presence bit and the right
// subtree) followed by one path per output byte (1 = right, 0 = left).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/bytesutil.h"

namespace tvd {

inline constexpr char kSmartLangResourceName[] = "IDFILE_SMART_LANG";
inline constexpr std::uint32_t kSmartLangFallback = 0x0809;
inline constexpr std::size_t kSmartLangMaxTreeNodes = 511;

struct SmartLangEntry {
    std::uint32_t language = 0;
    std::uint32_t offset = 0;
    std::uint32_t decodedSize = 0;
    std::uint32_t codedSize = 0;
};

// The directory; false when the count or any entry does not lie inside the resource.
bool ReadSmartLangDirectory(ByteView resource, std::vector<SmartLangEntry>& entries);

// Decodes `decodedSize` bytes; false on a malformed tree, more than 511 nodes, a path into a
// missing child, a stream that ends early or a size above 16 MiB (`out` is then empty).
bool TreeDecode(ByteView coded, std::size_t decodedSize, std::vector<std::uint8_t>& out);

// The decoded text (UTF-16LE bytes) of one language; false when missing or corrupt.
bool DecodeSmartLang(ByteView resource, std::uint32_t language, std::vector<std::uint8_t>& text);

// Loads the fallback table (0x0809) once, then the table of `language` as the current one; for
// the fallback language itself the current table is dropped. A missing resource, language or
// byte-order mark leaves the table concerned empty (and the result false). `resourceName` is
// looked up among the program's raw data resources. Thread safe, as are the lookups.
bool LoadSmartNames(const char* resourceName, std::uint32_t language);
// The same from resource bytes already in hand (tests, tools).
bool LoadSmartNamesFrom(ByteView resource, std::uint32_t language);
// Drops both tables.
void UnloadSmartNames();

// Name of attribute `id` (key "%02X") in `section`: current language, then fallback.
std::optional<std::u16string> SmartAttributeName(std::u16string_view section, std::uint8_t id);
// Key "VENDOR_SPECIFIC" of section "Smart": current language, then fallback.
std::optional<std::u16string> SmartUnnamedAttributeText();

} // namespace tvd
