// INI texts held in memory as compact line data: every line NUL-terminated, none empty, none
// beginning or ending with a blank, tabs turned into blanks. Lookups compare section names and
// keys ignoring the case of ASCII letters; values come back as stored. A buffer is a local
// object of one operation on one thread.
//
// Offsets are signed 32-bit with -1 for "none"; texts of 2 GiB and more are refused so that
// every offset fits.
#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tvd {

// 8-bit INI text. `data` holds `capacity` bytes of which the first `used` are line data.
struct IniBuffer {
    bool modified = false;
    std::uint32_t used = 0;
    std::uint32_t capacity = 0;
    std::vector<char> data;
};

struct IniExtent {
    std::int32_t bytes = 0; // from the header line to the next line starting with "[" or the end
    std::int32_t lines = 0; // lines after the header at least 2 characters long
};

struct IniKeyPos {
    std::int32_t line = -1;  // offset of the entry line, -1 when not found
    std::int32_t value = -1; // offset of the character after "="
    bool Found() const { return line >= 0; }
};

// Builds the line data from `bytes` bytes of text; the previous content is replaced. False when
// the text is missing or too large, or memory runs out (the buffer then stays as it was).
// Input ends at a 0x1A byte; a NUL byte ends a line like CR or LF so no empty line can arise.
bool IniParse(IniBuffer* buffer, const void* text, std::size_t bytes);

// The file form: each line followed by CR LF, then one 0x1A byte. Empty when there is no line.
std::vector<std::uint8_t> IniSerialize(const IniBuffer* buffer);

void IniRelease(IniBuffer* buffer);

// The line data in use; empty for a null buffer.
std::string_view IniLineData(const IniBuffer* buffer);

// Offset of the first header line "[name]" (anything may follow the "]"), or -1.
std::int32_t IniFindSection(const IniBuffer* buffer, std::string_view name);

// `lines` starts at a header line and runs to the end of the line data.
IniExtent IniSectionExtent(std::string_view lines);

// Searches the lines of `section` (a header line and its extent) for the entry of `key`: the key,
// optional blanks, "=". The header itself is never an entry. Offsets are relative to `section`.
IniKeyPos IniFindKey(std::string_view section, std::string_view key);

// The value inside the buffer with leading blanks skipped; valid until the buffer changes.
std::optional<std::string_view> IniGetValue(const IniBuffer* buffer, std::string_view section,
                                            std::string_view key);

// The value's leading decimal number read as the C library's atol does, clamped to the int32
// range; `fallback` only when the value is missing.
std::int32_t IniGetInt(const IniBuffer* buffer, std::string_view section, std::string_view key,
                       std::int32_t fallback);

// Key names of the section's entries (the text before the first "=", blanks included), each once
// ignoring case, in file order. Empty when the section is missing or has no entry.
std::vector<std::string> IniKeyList(const IniBuffer* buffer, std::string_view section);

// Removes the key's entry lines from the section. False when the section or key is missing.
bool IniDeleteKey(IniBuffer* buffer, std::string_view section, std::string_view key);

// Sets key=value in the section, or deletes the key when `value` is none (true either way).
// A changed section moves to the end of the text unless the new entry line is exactly as long
// as the old one, which is then overwritten in place. Setting the present value changes nothing
// and leaves `modified` alone.
//
// Refused (false, buffer unchanged) unless what is written reads back as the same entry:
// - any text holding CR, LF, NUL, 0x1A or a tab (parsing ends lines there or turns tabs into
//   blanks);
// - a section holding "]" (the name would end early);
// - a key holding "=", beginning with "[" (its line would end the section), or beginning or
//   ending with a blank (parsing strips the first; the second makes "k " and "k" one entry);
// - a value beginning or ending with a blank (lookups skip the first, parsing strips the second).
// A section may begin or end with a blank: inside the brackets such blanks survive parsing.
bool IniSetValue(IniBuffer* buffer, std::string_view section, std::string_view key,
                 std::optional<std::string_view> value);

bool IniSetBool(IniBuffer* buffer, std::string_view section, std::string_view key, bool flag);

// Line scanning shared by the 8-bit and the UTF-16 buffers.
namespace inidetail {

inline constexpr std::size_t kMaxUnits =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

template <class Ch> constexpr char32_t FoldAscii(Ch c) {
    auto u = static_cast<char32_t>(static_cast<std::make_unsigned_t<Ch>>(c));
    return (u >= U'A' && u <= U'Z') ? u + (U'a' - U'A') : u;
}

template <class Ch> bool EqualNoCase(std::basic_string_view<Ch> a, std::basic_string_view<Ch> b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

// Turns `count` input units (read through `unit(i)`) into line data; `out` must hold count + 1.
// Returns the units used.
template <class Ch, class Unit>
std::size_t ParseLines(std::size_t count, Unit unit, std::vector<Ch>& out) {
    std::size_t used = 0, lineStart = 0;
    auto endLine = [&] {
        if (used == lineStart) return;
        while (out[used - 1] == Ch(' '))
            --used; // the line's first unit is never a blank
        out[used++] = Ch(0);
        lineStart = used;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const char32_t c = unit(i);
        if (c == 0x1A) break;
        if (c == U' ' || c == U'\t') {
            if (used != lineStart) out[used++] = Ch(' ');
        } else if (c == U'\r' || c == U'\n' || c == 0) {
            endLine();
        } else {
            out[used++] = static_cast<Ch>(c);
        }
    }
    endLine();
    return used;
}

// The line starting at `pos`, without its NUL; `terminated` tells whether a NUL ends it.
template <class Ch>
std::basic_string_view<Ch> LineAt(std::basic_string_view<Ch> d, std::size_t pos,
                                  bool* terminated = nullptr) {
    const std::size_t end = d.find(Ch(0), pos);
    if (terminated) *terminated = end != d.npos;
    return d.substr(pos, (end == d.npos ? d.size() : end) - pos);
}

template <class Ch>
std::int32_t FindSection(std::basic_string_view<Ch> d, std::basic_string_view<Ch> name,
                         std::size_t from = 0) {
    const std::size_t k = name.size();
    if (k == 0) return -1;
    for (std::size_t p = from; p < d.size();) {
        const auto line = LineAt(d, p);
        if (line.size() >= k + 2 && line[0] == Ch('[') && line[k + 1] == Ch(']') &&
            EqualNoCase(line.substr(1, k), name))
            return static_cast<std::int32_t>(p);
        p += line.size() + 1;
    }
    return -1;
}

template <class Ch> IniExtent SectionExtent(std::basic_string_view<Ch> lines) {
    IniExtent ext;
    if (lines.empty()) return ext;
    std::size_t p = LineAt(lines, 0).size() + 1;
    while (p < lines.size()) {
        const auto line = LineAt(lines, p);
        if (!line.empty() && line[0] == Ch('[')) break;
        if (line.size() >= 2) ++ext.lines;
        p += line.size() + 1;
    }
    ext.bytes = static_cast<std::int32_t>(p < lines.size() ? p : lines.size());
    return ext;
}

// Where the value of `line` starts when it is an entry of `key`, or npos.
template <class Ch>
std::size_t EntryValueStart(std::basic_string_view<Ch> line, std::basic_string_view<Ch> key) {
    const std::size_t k = key.size();
    if (k == 0 || line.size() < k || line[0] == Ch('[') || !EqualNoCase(line.substr(0, k), key))
        return line.npos;
    std::size_t j = k;
    while (j < line.size() && line[j] == Ch(' '))
        ++j;
    return (j < line.size() && line[j] == Ch('=')) ? j + 1 : line.npos;
}

template <class Ch>
IniKeyPos FindKey(std::basic_string_view<Ch> section, std::basic_string_view<Ch> key) {
    for (std::size_t p = 0; p < section.size();) {
        bool terminated = false;
        const auto line = LineAt(section, p, &terminated);
        if (!terminated) break; // a line reaching past the section's end
        const std::size_t v = EntryValueStart(line, key);
        if (v != line.npos) return {static_cast<std::int32_t>(p), static_cast<std::int32_t>(p + v)};
        p += line.size() + 1;
    }
    return {};
}

template <class Ch>
std::optional<std::basic_string_view<Ch>> GetValue(std::basic_string_view<Ch> d,
                                                   std::basic_string_view<Ch> section,
                                                   std::basic_string_view<Ch> key) {
    const std::int32_t sec = FindSection(d, section);
    if (sec < 0) return std::nullopt;
    const auto rest = d.substr(static_cast<std::size_t>(sec));
    const auto pos =
        FindKey(rest.substr(0, static_cast<std::size_t>(SectionExtent(rest).bytes)), key);
    if (!pos.Found()) return std::nullopt;
    auto value = LineAt(rest, static_cast<std::size_t>(pos.value));
    while (!value.empty() && value.front() == Ch(' '))
        value.remove_prefix(1);
    return value;
}

} // namespace inidetail

} // namespace tvd
