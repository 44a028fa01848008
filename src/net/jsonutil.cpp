#include "net/jsonutil.h"

#include <vector>

namespace tvd {
namespace {

constexpr std::size_t kMaxDepth = 256;

bool IsSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::size_t SkipSpace(const std::uint8_t* t, std::size_t n, std::size_t pos) {
    while (pos < n && IsSpace(t[pos]))
        ++pos;
    return pos;
}

// From the opening quote at pos: one past the closing quote, or npos.
std::size_t SkipString(const std::uint8_t* t, std::size_t n, std::size_t pos) {
    for (++pos; pos < n; ++pos) {
        if (t[pos] == '\\') {
            if (++pos >= n) return std::string_view::npos;
        } else if (t[pos] == '"') {
            return pos + 1;
        }
    }
    return std::string_view::npos;
}

// One past the value that starts at pos, or npos.
std::size_t SkipValue(const std::uint8_t* t, std::size_t n, std::size_t pos) {
    if (pos >= n) return std::string_view::npos;
    const std::uint8_t c = t[pos];
    if (c == '"') return SkipString(t, n, pos);
    if (c == '{' || c == '[') {
        std::vector<std::uint8_t> closers;
        while (pos < n) {
            const std::uint8_t b = t[pos];
            if (b == '"') {
                pos = SkipString(t, n, pos);
                if (pos == std::string_view::npos) return pos;
                continue;
            }
            if (b == '{' || b == '[') {
                if (closers.size() >= kMaxDepth) return std::string_view::npos;
                closers.push_back(b == '{' ? '}' : ']');
            } else if (b == '}' || b == ']') {
                if (closers.empty() || closers.back() != b) return std::string_view::npos;
                closers.pop_back();
                if (closers.empty()) return pos + 1;
            }
            ++pos;
        }
        return std::string_view::npos;
    }
    const std::size_t start = pos;
    while (pos < n && t[pos] != ',' && t[pos] != '}' && t[pos] != ']' && !IsSpace(t[pos]) &&
           t[pos] != '"' && t[pos] != '{' && t[pos] != '[')
        ++pos;
    return pos > start ? pos : std::string_view::npos;
}

int HexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ReadHex4(const std::uint8_t* p, std::size_t avail, std::uint32_t& v) {
    if (avail < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) {
        const int h = HexValue(p[i]);
        if (h < 0) return false;
        v = v * 16 + static_cast<std::uint32_t>(h);
    }
    return true;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xc0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xe0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    }
}

// Decodes the string token [start, end) (quotes included).
std::optional<std::string> DecodeString(const std::uint8_t* t, std::size_t start, std::size_t end) {
    std::string out;
    for (std::size_t i = start + 1; i + 1 < end; ++i) {
        const std::uint8_t c = t[i];
        if (c < 0x20) return std::nullopt;
        if (c != '\\') {
            out += static_cast<char>(c);
            continue;
        }
        ++i; // SkipString guarantees a byte after the backslash inside the token
        const std::size_t avail = end - 1 - (i + 1);
        switch (t[i]) {
        case '"':
            out += '"';
            break;
        case '\\':
            out += '\\';
            break;
        case '/':
            out += '/';
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'u': {
            std::uint32_t cp = 0;
            if (!ReadHex4(t + i + 1, avail, cp)) return std::nullopt;
            i += 4;
            if (cp >= 0xd800 && cp <= 0xdbff) {
                std::uint32_t low = 0;
                const std::size_t rest = end - 1 - (i + 1);
                if (rest < 6 || t[i + 1] != '\\' || t[i + 2] != 'u' ||
                    !ReadHex4(t + i + 3, rest - 2, low) || low < 0xdc00 || low > 0xdfff)
                    return std::nullopt;
                i += 6;
                cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
            } else if (cp >= 0xdc00 && cp <= 0xdfff) {
                return std::nullopt;
            }
            if (cp == 0) return std::nullopt;
            AppendUtf8(out, cp);
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

} // namespace

std::size_t JsonObjectStart(const std::uint8_t* text, std::size_t length) {
    if (!text) return std::string_view::npos;
    std::size_t pos = 0;
    if (length >= 3 && text[0] == 0xef && text[1] == 0xbb && text[2] == 0xbf) pos = 3;
    pos = SkipSpace(text, length, pos);
    return pos < length && text[pos] == '{' ? pos : std::string_view::npos;
}

std::optional<JsonValueSpan> JsonFindMember(const std::uint8_t* text, std::size_t length,
                                            std::string_view key) {
    if (!text || length == 0 || text[0] != '{') return std::nullopt;
    std::size_t pos = SkipSpace(text, length, 1);
    if (pos < length && text[pos] == '}') return std::nullopt;
    while (pos < length) {
        if (text[pos] != '"') return std::nullopt;
        const std::size_t pos0 = pos;
        const std::size_t nameEnd = SkipString(text, length, pos);
        if (nameEnd == std::string_view::npos) return std::nullopt;
        const std::string_view name(reinterpret_cast<const char*>(text + pos + 1),
                                    nameEnd - pos - 2);
        pos = SkipSpace(text, length, nameEnd);
        if (pos >= length || text[pos] != ':') return std::nullopt;
        const std::size_t v = SkipSpace(text, length, pos + 1);
        const std::size_t vEnd = SkipValue(text, length, v);
        if (vEnd == std::string_view::npos) return std::nullopt;
        pos = SkipSpace(text, length, vEnd);
        if (pos >= length || (text[pos] != ',' && text[pos] != '}')) return std::nullopt;
        bool match;
        if (name.find('\\') == std::string_view::npos) {
            match = name == key;
        } else {
            auto decoded = DecodeString(text, pos0, nameEnd);
            match = decoded && *decoded == key;
        }
        if (match) return JsonValueSpan{v, vEnd};
        if (text[pos] == '}') return std::nullopt;
        pos = SkipSpace(text, length, pos + 1);
    }
    return std::nullopt;
}

std::ptrdiff_t JsonObjectOffset(const std::uint8_t* text, std::size_t length,
                                std::string_view key) {
    auto span = JsonFindMember(text, length, key);
    if (!span || text[span->start] != '{') return -1;
    return static_cast<std::ptrdiff_t>(span->start);
}

std::optional<std::string> JsonGetString(const std::uint8_t* text, std::size_t length,
                                         std::string_view key) {
    auto span = JsonFindMember(text, length, key);
    if (!span || text[span->start] != '"') return std::nullopt;
    return DecodeString(text, span->start, span->end);
}

std::optional<std::uint64_t> JsonGetNumber(const std::uint8_t* text, std::size_t length,
                                           std::string_view key) {
    auto span = JsonFindMember(text, length, key);
    if (!span) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = span->start; i < span->end; ++i) {
        const std::uint8_t c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        const std::uint64_t d = c - '0';
        if (value > (UINT64_MAX - d) / 10) return std::nullopt;
        value = value * 10 + d;
    }
    return value;
}

} // namespace tvd
