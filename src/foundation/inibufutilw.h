// Read-only UTF-16 INI texts (language configuration, SMART name tables): the same line data as
// the 8-bit buffer, in 16-bit units.
#pragma once
#include "foundation/inibufutila.h"

namespace tvd {

// `data` holds `capacity` units of which the first `used` are line data.
struct IniBufferW {
    bool modified = false;
    std::uint32_t used = 0;
    std::uint32_t capacity = 0;
    std::vector<char16_t> data;
};

// `text` is UTF-16LE and must begin with the byte-order mark, which is not kept; without it the
// parse fails and the buffer stays as it was. A trailing odd byte is ignored.
bool IniParseW(IniBufferW* buffer, const void* text, std::size_t bytes);

std::u16string_view IniLineDataW(const IniBufferW* buffer);

// The value inside the buffer with leading blanks skipped; valid until the buffer changes.
std::optional<std::u16string_view>
IniGetValueW(const IniBufferW* buffer, std::u16string_view section, std::u16string_view key);

void IniReleaseW(IniBufferW* buffer);

} // namespace tvd
