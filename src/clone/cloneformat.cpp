#include "clone/cloneformat.h"

#include "foundation/textconvutil.h"

namespace tvd {

namespace {

template <class Char>
std::u16string Format(std::basic_string_view<Char> f, std::span<const CloneArg> args,
                      std::size_t maxUnits) {
    std::u16string out;
    std::size_t next = 0;
    auto emit = [&](std::u16string_view s) { out.append(s); };
    for (std::size_t i = 0; i < f.size() && out.size() < maxUnits;) {
        const Char c = f[i];
        if (c != Char('%')) {
            out.push_back(char16_t(std::make_unsigned_t<Char>(c)));
            ++i;
            continue;
        }
        if (i + 1 < f.size() && f[i + 1] == Char('%')) {
            out.push_back(u'%');
            i += 2;
            continue;
        }
        // %[flags][width][.precision][length]conversion
        std::size_t j = i + 1;
        bool left = false, zero = false;
        for (; j < f.size(); ++j) {
            if (f[j] == Char('-'))
                left = true;
            else if (f[j] == Char('0'))
                zero = true;
            else if (f[j] != Char('+') && f[j] != Char(' ') && f[j] != Char('#'))
                break;
        }
        std::size_t width = 0;
        for (; j < f.size() && f[j] >= Char('0') && f[j] <= Char('9'); ++j)
            width = std::min<std::size_t>(width * 10 + std::size_t(f[j] - Char('0')), 256);
        if (j < f.size() && f[j] == Char('.'))
            for (++j; j < f.size() && f[j] >= Char('0') && f[j] <= Char('9');)
                ++j;
        for (;;) {
            if (j + 2 < f.size() && f[j] == Char('I') &&
                ((f[j + 1] == Char('6') && f[j + 2] == Char('4')) ||
                 (f[j + 1] == Char('3') && f[j + 2] == Char('2'))))
                j += 3;
            else if (j < f.size() && (f[j] == Char('l') || f[j] == Char('h') || f[j] == Char('z') ||
                                      f[j] == Char('j') || f[j] == Char('I')))
                ++j;
            else
                break;
        }
        if (j >= f.size()) break; // a format cut in the middle of a conversion
        const Char conv = f[j];
        i = j + 1;
        if (next >= args.size()) continue;
        const CloneArg& a = args[next++];
        std::u16string value;
        bool number = false;
        switch (a.GetKind()) {
        case CloneArg::Kind::kText:
            value = Utf8ToUtf16(a.Text());
            break;
        case CloneArg::Kind::kTextW:
            value = std::u16string(a.TextW());
            break;
        case CloneArg::Kind::kSigned:
        case CloneArg::Kind::kUnsigned: {
            number = true;
            const bool neg = a.GetKind() == CloneArg::Kind::kSigned && a.Signed() < 0;
            std::uint64_t v =
                a.GetKind() == CloneArg::Kind::kSigned
                    ? (neg ? 0 - std::uint64_t(a.Signed()) : std::uint64_t(a.Signed()))
                    : a.Unsigned();
            const bool hex = conv == Char('x') || conv == Char('X');
            const char16_t* digits = conv == Char('X') ? u"0123456789ABCDEF" : u"0123456789abcdef";
            if (hex && neg) v = std::uint64_t(a.Signed()); // two's complement, as printf shows it
            do {
                value.insert(value.begin(), digits[v % (hex ? 16 : 10)]);
                v /= hex ? 16 : 10;
            } while (v);
            if (neg && !hex) {
                while (zero && !left && value.size() + 1 < width)
                    value.insert(value.begin(), u'0');
                value.insert(value.begin(), u'-');
            }
            break;
        }
        }
        if (value.size() < width) {
            const std::size_t pad = width - value.size();
            if (left)
                value.append(pad, u' ');
            else
                value.insert(0, pad, (zero && number) ? u'0' : u' ');
        }
        emit(value);
    }
    if (out.size() > maxUnits) out.resize(maxUnits);
    return out;
}

} // namespace

std::u16string CloneFormat(std::string_view format, std::span<const CloneArg> args,
                           std::size_t maxUnits) {
    return Format<char>(format, args, maxUnits);
}

std::u16string CloneFormat(std::u16string_view format, std::span<const CloneArg> args,
                           std::size_t maxUnits) {
    return Format<char16_t>(format, args, maxUnits);
}

} // namespace tvd
