// One value from an INI file on disk: the file is read whole (up to a size cap), parsed, asked
// and dropped. Settings files are writable by ordinary users and read by the elevated program,
// so a file above the cap counts as missing instead of being loaded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tvd {

inline constexpr std::size_t kIniFileCap = 64 * 1024;

// The file's bytes when it exists, can be read and holds at most `cap` bytes. Paths are UTF-8.
std::optional<std::vector<std::uint8_t>> ReadIniFileBytes(const std::string& path,
                                                          std::size_t cap = kIniFileCap);

// 8-bit INI file; `fallback` when the file, the section or the key is missing.
std::int32_t IniReadInt(const std::string& path, const char* section, const char* key,
                        std::int32_t fallback);
// UTF-16 INI file with byte-order mark; none when anything is missing.
std::optional<std::u16string> IniReadWideString(const std::string& path, const char16_t* section,
                                                const char16_t* key);

} // namespace tvd
