// Conversions between UTF-16 and 8-bit texts. The engine's 8-bit texts are UTF-8 unless a code
// page is named; drive and registry texts arrive as bytes and are converted at the edge.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tvd {

inline constexpr std::uint32_t kCodePageOem = 1;  // CP_OEMCP
inline constexpr std::uint32_t kCodePageAnsi = 0; // CP_ACP
inline constexpr std::uint32_t kCodePageUtf8 = 65001;
inline constexpr std::uint32_t kCodePageLatin1 = 28591;
inline constexpr std::uint32_t kCodePageAscii = 20127;

// Portable and lossless for valid input; invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Through a code page (Windows: the system's tables; Linux: UTF-8, Latin-1, ASCII, and the OEM
// and ANSI code pages taken as UTF-8). Unmappable characters become '?'.
std::string Utf16ToCodePage(std::u16string_view text, std::uint32_t codePage);
std::u16string CodePageToUtf16(std::string_view text, std::uint32_t codePage);

} // namespace tvd
