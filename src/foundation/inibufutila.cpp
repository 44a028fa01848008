#include "foundation/inibufutila.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tvd {

namespace {

using inidetail::EntryValueStart;
using inidetail::LineAt;

std::string_view SectionAt(std::string_view d, std::int32_t sec) {
    const auto rest = d.substr(static_cast<std::size_t>(sec));
    return rest.substr(0, static_cast<std::size_t>(IniSectionExtent(rest).bytes));
}

void Adopt(IniBuffer* buffer, std::vector<char>&& lines) {
    buffer->data.swap(lines);
    buffer->used = buffer->capacity = static_cast<std::uint32_t>(buffer->data.size());
    buffer->modified = true;
}

bool HoldsLineBreakOrTab(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\t\x1A\0", 5)) != s.npos;
}

bool EdgeBlank(std::string_view s) {
    return !s.empty() && (s.front() == ' ' || s.back() == ' ');
}

bool ValidSection(std::string_view s) {
    return !s.empty() && !HoldsLineBreakOrTab(s) && s.find(']') == s.npos;
}

bool ValidKey(std::string_view k) {
    return !k.empty() && !HoldsLineBreakOrTab(k) && k.find('=') == k.npos && k.front() != '[' &&
           !EdgeBlank(k);
}

bool ValidValue(std::string_view v) {
    return !HoldsLineBreakOrTab(v) && !EdgeBlank(v);
}

void Append(std::vector<char>& out, std::string_view s) {
    out.insert(out.end(), s.begin(), s.end());
}

// Appends the lines after the header of `section`, leaving out the entries of `key`.
void AppendBodyWithout(std::vector<char>& out, std::string_view section, std::string_view key) {
    std::size_t p = LineAt(section, 0).size() + 1;
    while (p < section.size()) {
        const auto line = LineAt(section, p);
        if (EntryValueStart(line, key) == line.npos) {
            Append(out, line);
            out.push_back('\0');
        }
        p += line.size() + 1;
    }
}

} // namespace

bool IniParse(IniBuffer* buffer, const void* text, std::size_t bytes) {
    if (!buffer || !text || bytes >= inidetail::kMaxUnits) return false;
    try {
        const auto* in = static_cast<const unsigned char*>(text);
        std::vector<char> lines(bytes + 1);
        const std::size_t used = inidetail::ParseLines(
            bytes, [in](std::size_t i) { return char32_t(in[i]); }, lines);
        buffer->data.swap(lines);
        buffer->capacity = static_cast<std::uint32_t>(buffer->data.size());
        buffer->used = static_cast<std::uint32_t>(used);
        buffer->modified = false;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::vector<std::uint8_t> IniSerialize(const IniBuffer* buffer) {
    const auto d = IniLineData(buffer);
    std::vector<std::uint8_t> out;
    if (d.empty()) return out;
    try {
        out.reserve(d.size() + static_cast<std::size_t>(std::count(d.begin(), d.end(), '\0')) + 1);
        for (char c : d) {
            if (c == '\0') {
                out.push_back('\r');
                out.push_back('\n');
            } else {
                out.push_back(static_cast<std::uint8_t>(c));
            }
        }
        out.push_back(0x1A);
    } catch (const std::bad_alloc&) {
        out.clear();
    }
    return out;
}

void IniRelease(IniBuffer* buffer) {
    if (!buffer) return;
    std::vector<char>().swap(buffer->data);
    buffer->used = buffer->capacity = 0;
    buffer->modified = false;
}

std::string_view IniLineData(const IniBuffer* buffer) {
    if (!buffer) return {};
    return {buffer->data.data(), std::min<std::size_t>(buffer->used, buffer->data.size())};
}

std::int32_t IniFindSection(const IniBuffer* buffer, std::string_view name) {
    return inidetail::FindSection(IniLineData(buffer), name);
}

IniExtent IniSectionExtent(std::string_view lines) {
    return inidetail::SectionExtent(lines);
}

IniKeyPos IniFindKey(std::string_view section, std::string_view key) {
    return inidetail::FindKey(section, key);
}

std::optional<std::string_view> IniGetValue(const IniBuffer* buffer, std::string_view section,
                                            std::string_view key) {
    return inidetail::GetValue(IniLineData(buffer), section, key);
}

std::int32_t IniGetInt(const IniBuffer* buffer, std::string_view section, std::string_view key,
                       std::int32_t fallback) {
    const auto value = IniGetValue(buffer, section, key);
    if (!value) return fallback;
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    std::size_t i = 0;
    const auto v = *value;
    while (i < v.size() && (v[i] == ' ' || (v[i] >= '\t' && v[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
    std::int64_t n = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i)
        n = std::min<std::int64_t>(n * 10 + (v[i] - '0'), kMax + 1); // saturates, never wraps
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(negative ? -n : n, kMin, kMax));
}

std::vector<std::string> IniKeyList(const IniBuffer* buffer, std::string_view section) {
    std::vector<std::string> keys;
    const auto d = IniLineData(buffer);
    const std::int32_t sec = inidetail::FindSection(d, section);
    if (sec < 0) return keys;
    const auto body = SectionAt(d, sec);
    try {
        for (std::size_t p = LineAt(body, 0).size() + 1; p < body.size();) {
            const auto line = LineAt(body, p);
            p += line.size() + 1;
            const std::size_t eq = line.find('=');
            if (eq == line.npos) continue;
            const auto name = line.substr(0, eq);
            if (std::none_of(keys.begin(), keys.end(), [name](const std::string& k) {
                    return inidetail::EqualNoCase(std::string_view(k), name);
                }))
                keys.emplace_back(name);
        }
    } catch (const std::bad_alloc&) {
        keys.clear();
    }
    return keys;
}

bool IniDeleteKey(IniBuffer* buffer, std::string_view section, std::string_view key) {
    const auto d = IniLineData(buffer);
    const std::int32_t sec = inidetail::FindSection(d, section);
    if (sec < 0) return false;
    const auto body = SectionAt(d, sec);
    if (!IniFindKey(body, key).Found()) return false;
    // Every entry of the key goes: a second one left behind would answer the next lookup.
    char* base = buffer->data.data();
    std::size_t write = static_cast<std::size_t>(sec), read = write;
    const std::size_t end = read + body.size();
    while (read < end) {
        const auto line = LineAt(d, read);
        const std::size_t len = std::min(line.size() + 1, end - read);
        if (EntryValueStart(line, key) == line.npos) { // the header is never an entry
            std::memmove(base + write, base + read, len);
            write += len;
        }
        read += len;
    }
    std::memmove(base + write, base + end, d.size() - end);
    const std::size_t used = d.size() - (end - write);
    std::fill(base + used, base + d.size(), '\0');
    buffer->used = static_cast<std::uint32_t>(used);
    buffer->modified = true;
    return true;
}

bool IniSetValue(IniBuffer* buffer, std::string_view section, std::string_view key,
                 std::optional<std::string_view> value) {
    if (!buffer || !ValidSection(section) || !ValidKey(key)) return false;
    if (!value) {
        IniDeleteKey(buffer, section, key);
        return true;
    }
    if (!ValidValue(*value)) return false;
    const auto d = IniLineData(buffer);
    const std::size_t entryLen = key.size() + 1 + value->size();
    const std::size_t headerLen = section.size() + 2;
    if (d.size() + headerLen + entryLen + 2 > inidetail::kMaxUnits) return false;
    try {
        std::vector<char> out;
        auto appendEntry = [&] {
            Append(out, key);
            out.push_back('=');
            Append(out, *value);
            out.push_back('\0');
        };
        auto appendHeader = [&] {
            out.push_back('[');
            Append(out, section);
            out.push_back(']');
            out.push_back('\0');
        };
        if (d.empty()) {
            out.reserve(headerLen + entryLen + 2);
            appendHeader();
            appendEntry();
            Adopt(buffer, std::move(out));
            return true;
        }
        const auto present = IniGetValue(buffer, section, key);
        if (present && *present == *value) return true;

        const std::int32_t sec = inidetail::FindSection(d, section);
        out.reserve(d.size() + headerLen + entryLen + 2);
        if (sec < 0) {
            Append(out, d);
            appendHeader();
            appendEntry();
            Adopt(buffer, std::move(out));
            return true;
        }
        const auto body = SectionAt(d, sec);
        const auto pos = IniFindKey(body, key);
        if (pos.Found() && LineAt(body, static_cast<std::size_t>(pos.line)).size() == entryLen) {
            char* line = buffer->data.data() + sec + pos.line;
            std::memcpy(line, key.data(), key.size());
            line[key.size()] = '=';
            std::memcpy(line + key.size() + 1, value->data(), value->size());
            buffer->modified = true;
            return true;
        }
        // The section moves to the end. A later section of the same name would then come first
        // and hide the change, so its lines join the moved one.
        std::vector<char> moved;
        Append(moved, LineAt(d, static_cast<std::size_t>(sec)));
        moved.push_back('\0');
        std::size_t copied = 0;
        for (std::int32_t s = sec; s >= 0;) {
            const auto part = SectionAt(d, s);
            Append(out, d.substr(copied, static_cast<std::size_t>(s) - copied));
            AppendBodyWithout(moved, part, key);
            copied = static_cast<std::size_t>(s) + part.size();
            s = inidetail::FindSection(d, section, copied);
        }
        Append(out, d.substr(copied));
        out.insert(out.end(), moved.begin(), moved.end());
        appendEntry();
        Adopt(buffer, std::move(out));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool IniSetBool(IniBuffer* buffer, std::string_view section, std::string_view key, bool flag) {
    return IniSetValue(buffer, section, key, flag ? "TRUE" : "FALSE");
}

} // namespace tvd
