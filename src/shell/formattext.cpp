#include "shell/formattext.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "foundation/textconvutil.h"

namespace tvd {

FormatArgClass FormatArg::Class() const {
    switch (kind_) {
    case Kind::kFloat:
        return FormatArgClass::kFloat;
    case Kind::kNarrow:
    case Kind::kWide:
        return FormatArgClass::kText;
    default:
        return FormatArgClass::kInteger;
    }
}

namespace {

// Width and precision beyond the output limit could only be cut away again.
constexpr int kMaxField = static_cast<int>(kFormatTextMax);
// Digits after the point that a double can carry meaningfully and then some.
constexpr int kMaxFloatPrecision = 64;

struct Spec {
    bool left = false, plus = false, space = false, zero = false, alt = false;
    int width = 0;
    int precision = -1;
    bool shortInt = false;
    char conversion = 0;
    std::size_t end = 0; // index after the conversion letter
};

template <class Ch> bool IsDigit(Ch c) {
    return c >= Ch('0') && c <= Ch('9');
}

// Parses the conversion that starts after the "%" at `pos`. False when it is not one this
// formatter supports ("%%" is handled by the caller).
template <class Ch> bool ParseSpec(std::basic_string_view<Ch> f, std::size_t pos, Spec& s) {
    std::size_t i = pos;
    for (; i < f.size(); ++i) {
        const Ch c = f[i];
        if (c == Ch('-'))
            s.left = true;
        else if (c == Ch('+'))
            s.plus = true;
        else if (c == Ch(' '))
            s.space = true;
        else if (c == Ch('0'))
            s.zero = true;
        else if (c == Ch('#'))
            s.alt = true;
        else
            break;
    }
    for (; i < f.size() && IsDigit(f[i]); ++i)
        s.width = std::min(kMaxField, s.width * 10 + int(f[i] - Ch('0')));
    if (i < f.size() && f[i] == Ch('.')) {
        s.precision = 0;
        for (++i; i < f.size() && IsDigit(f[i]); ++i)
            s.precision = std::min(kMaxField, s.precision * 10 + int(f[i] - Ch('0')));
    }
    if (i < f.size() && f[i] == Ch('h')) {
        s.shortInt = true;
        ++i;
    } else if (i < f.size() && f[i] == Ch('l')) {
        ++i;
        if (i < f.size() && f[i] == Ch('l')) ++i;
    } else if (i + 2 < f.size() && f[i] == Ch('I') && f[i + 1] == Ch('6') && f[i + 2] == Ch('4')) {
        i += 3;
    }
    if (i >= f.size()) return false;
    const Ch c = f[i];
    if (c > Ch(0x7F)) return false;
    switch (static_cast<char>(c)) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'c':
    case 'C':
    case 's':
    case 'S':
    case 'f':
        s.conversion = static_cast<char>(c);
        s.end = i + 1;
        return true;
    default:
        return false; // "*", "n", "p", "e", ... are not formats here
    }
}

FormatArgClass ClassOf(char conversion) {
    switch (conversion) {
    case 'f':
        return FormatArgClass::kFloat;
    case 's':
    case 'S':
        return FormatArgClass::kText;
    default:
        return FormatArgClass::kInteger;
    }
}

// Output collected as Unicode code points, then encoded once.
using Points = std::u32string;

void AppendUtf16(Points& out, std::u16string_view s, std::size_t maxPoints) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size() && n < maxPoints; ++i, ++n) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        out.push_back(c);
    }
}

void Pad(Points& out, std::size_t count, char32_t c) {
    out.append(count, c);
}

void Field(Points& out, const Spec& s, const Points& body) {
    const std::size_t width = static_cast<std::size_t>(s.width);
    const std::size_t pad = body.size() < width ? width - body.size() : 0;
    if (!s.left) Pad(out, pad, U' ');
    out += body;
    if (s.left) Pad(out, pad, U' ');
}

// Sign or prefix, then zero padding (when asked for and not left-aligned), then digits.
void NumberField(Points& out, const Spec& s, std::string_view prefix, std::string_view digits,
                 bool zeroPadAllowed) {
    Points body(prefix.begin(), prefix.end());
    const std::size_t width = static_cast<std::size_t>(s.width);
    if (s.zero && !s.left && zeroPadAllowed && prefix.size() + digits.size() < width)
        body.append(width - prefix.size() - digits.size(), U'0');
    body.append(digits.begin(), digits.end());
    Field(out, s, body);
}

void FormatInteger(Points& out, const Spec& s, const FormatArg& a) {
    const bool isSigned = s.conversion == 'd' || s.conversion == 'i';
    std::uint64_t magnitude = 0;
    bool negative = false;
    if (isSigned) {
        std::int64_t v = a.Signed();
        if (s.shortInt) v = static_cast<std::int16_t>(v);
        negative = v < 0;
        magnitude = negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    } else {
        magnitude = a.Unsigned();
        if (s.shortInt) magnitude = static_cast<std::uint16_t>(magnitude);
    }
    const int base = (s.conversion == 'x' || s.conversion == 'X') ? 16 : 10;
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, magnitude, base);
    std::string digits(buf, r.ptr);
    if (s.conversion == 'X')
        std::transform(digits.begin(), digits.end(), digits.begin(),
                       [](char c) { return c >= 'a' && c <= 'f' ? char(c - 32) : c; });
    if (s.precision >= 0) {
        if (s.precision == 0 && magnitude == 0) digits.clear();
        if (digits.size() < std::size_t(s.precision))
            digits.insert(0, std::size_t(s.precision) - digits.size(), '0');
    }
    std::string_view prefix;
    if (isSigned) {
        if (negative)
            prefix = "-";
        else if (s.plus)
            prefix = "+";
        else if (s.space)
            prefix = " ";
    } else if (base == 16 && s.alt && magnitude != 0) {
        prefix = s.conversion == 'X' ? "0X" : "0x";
    }
    NumberField(out, s, prefix, digits, s.precision < 0);
}

void FormatFloat(Points& out, const Spec& s, double v) {
    const int precision = s.precision < 0 ? 6 : std::min(s.precision, kMaxFloatPrecision);
    std::string_view prefix;
    if (std::signbit(v) && !std::isnan(v))
        prefix = "-";
    else if (s.plus)
        prefix = "+";
    else if (s.space)
        prefix = " ";
    const double magnitude = std::fabs(v);
    std::string digits;
    bool finite = std::isfinite(v);
    if (!finite) {
        digits = std::isnan(v) ? "nan" : "inf";
    } else {
        char buf[400]; // 309 integer digits, the point and kMaxFloatPrecision decimals
        auto r =
            std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed, precision);
        if (r.ec != std::errc()) return;
        digits.assign(buf, r.ptr);
        if (precision == 0 && s.alt) digits += '.';
    }
    NumberField(out, s, prefix, digits, finite);
}

void FormatTextArg(Points& out, const Spec& s, const FormatArg& a) {
    // Anything past the output limit is cut anyway.
    const std::size_t maxPoints =
        s.precision < 0 ? kFormatTextMax + 1 : static_cast<std::size_t>(s.precision);
    Points body;
    if (a.kind() == FormatArg::Kind::kWide)
        AppendUtf16(body, a.Wide(), maxPoints);
    else
        AppendUtf16(body, Utf8ToUtf16(a.Narrow()), maxPoints);
    Field(out, s, body);
}

void FormatChar(Points& out, const Spec& s, const FormatArg& a) {
    std::uint64_t v = a.Unsigned();
    char32_t c = v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF) ? U'\xFFFD' : char32_t(v);
    Field(out, s, Points(1, c));
}

template <class Ch, class Args> Points Render(std::basic_string_view<Ch> f, const Args& args) {
    Points out;
    auto next = args.begin();
    std::size_t i = 0;
    // Enough to know where the cut falls; the rest would be discarded anyway.
    while (i < f.size() && out.size() <= kFormatTextMax) {
        const Ch c = f[i];
        if (c != Ch('%')) {
            std::size_t start = i;
            while (i < f.size() && f[i] != Ch('%'))
                ++i;
            if constexpr (sizeof(Ch) == 1)
                AppendUtf16(out, Utf8ToUtf16(std::string_view(f.data() + start, i - start)),
                            std::size_t(-1));
            else
                AppendUtf16(out, std::u16string_view(f.data() + start, i - start), std::size_t(-1));
            continue;
        }
        if (i + 1 < f.size() && f[i + 1] == Ch('%')) {
            out.push_back(U'%');
            i += 2;
            continue;
        }
        Spec s;
        if (!ParseSpec(f, i + 1, s) || next == args.end() ||
            next->Class() != ClassOf(s.conversion)) {
            // Not a conversion, or nothing to convert: the text stays as written.
            out.push_back(U'%');
            ++i;
            continue;
        }
        const FormatArg& a = *next++;
        switch (s.conversion) {
        case 'f':
            FormatFloat(out, s, a.Float());
            break;
        case 's':
        case 'S':
            FormatTextArg(out, s, a);
            break;
        case 'c':
        case 'C':
            FormatChar(out, s, a);
            break;
        default:
            FormatInteger(out, s, a);
            break;
        }
        i = s.end;
    }
    return out;
}

std::u16string ToUtf16Cut(const Points& p) {
    std::u16string out;
    for (char32_t c : p) {
        const std::size_t need = c >= 0x10000 ? 2 : 1;
        if (out.size() + need > kFormatTextMax) break;
        if (need == 2) {
            out.push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(char16_t(c));
        }
    }
    return out;
}

std::string ToUtf8Cut(const Points& p) {
    std::string out;
    for (char32_t c : p) {
        char buf[4];
        std::size_t n;
        if (c < 0x80) {
            buf[0] = char(c);
            n = 1;
        } else if (c < 0x800) {
            buf[0] = char(0xC0 | (c >> 6));
            buf[1] = char(0x80 | (c & 0x3F));
            n = 2;
        } else if (c < 0x10000) {
            buf[0] = char(0xE0 | (c >> 12));
            buf[1] = char(0x80 | ((c >> 6) & 0x3F));
            buf[2] = char(0x80 | (c & 0x3F));
            n = 3;
        } else {
            buf[0] = char(0xF0 | (c >> 18));
            buf[1] = char(0x80 | ((c >> 12) & 0x3F));
            buf[2] = char(0x80 | ((c >> 6) & 0x3F));
            buf[3] = char(0x80 | (c & 0x3F));
            n = 4;
        }
        if (out.size() + n > kFormatTextMax) break;
        out.append(buf, n);
    }
    return out;
}

template <class Ch>
std::optional<std::vector<FormatArgClass>> Specifiers(std::basic_string_view<Ch> f) {
    std::vector<FormatArgClass> classes;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] != Ch('%')) continue;
        if (i + 1 < f.size() && f[i + 1] == Ch('%')) {
            ++i;
            continue;
        }
        Spec s;
        if (!ParseSpec(f, i + 1, s)) return std::nullopt;
        classes.push_back(ClassOf(s.conversion));
        i = s.end - 1;
    }
    return classes;
}

template <class Args> bool Matches(std::u16string_view format, const Args& args) {
    const auto classes = Specifiers(format);
    if (!classes || classes->size() != args.size()) return false;
    std::size_t k = 0;
    for (const FormatArg& a : args)
        if ((*classes)[k++] != a.Class()) return false;
    return true;
}

} // namespace

std::string FormatText(std::string_view format, FormatArgs args) {
    return ToUtf8Cut(Render(format, args));
}
std::u16string FormatText(std::u16string_view format, FormatArgs args) {
    return ToUtf16Cut(Render(format, args));
}
std::string FormatText(std::string_view format, const std::vector<FormatArg>& args) {
    return ToUtf8Cut(Render(format, args));
}
std::u16string FormatText(std::u16string_view format, const std::vector<FormatArg>& args) {
    return ToUtf16Cut(Render(format, args));
}

std::optional<std::vector<FormatArgClass>> FormatSpecifiers(std::string_view format) {
    return Specifiers(format);
}
std::optional<std::vector<FormatArgClass>> FormatSpecifiers(std::u16string_view format) {
    return Specifiers(format);
}

bool FormatMatches(std::u16string_view format, FormatArgs args) {
    return Matches(format, args);
}
bool FormatMatches(std::u16string_view format, const std::vector<FormatArg>& args) {
    return Matches(format, args);
}

} // namespace tvd
