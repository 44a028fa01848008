#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shell/formattext.h"

namespace {

bool WellFormedUtf16(const std::u16string& s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

bool WellFormedUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80         ? 1
                              : (c >> 5) == 6  ? 2
                              : (c >> 4) == 14 ? 3
                              : (c >> 3) == 30 ? 4
                                               : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        i += n;
    }
    return true;
}

} // namespace

// Table texts are formats written by translators and read from resources: any text, with any
// arguments, gives bounded, well-formed output and never reads an argument it was not given.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string wide(size / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    const std::string narrow(reinterpret_cast<const char*>(data), size);

    const std::vector<std::vector<tvd::FormatArg>> argSets = {
        {},
        {3},
        {"Tarvik", u"Windows"},
        {-1ll, ~0ull, 2.5, "x", u"\U0001F600", char16_t(0xD800)},
        {1e308, -0.0, 0x10FFFF, 0x110000},
    };
    for (const auto& args : argSets) {
        const std::u16string w = tvd::FormatText(wide, args);
        if (w.size() > tvd::kFormatTextMax || !WellFormedUtf16(w)) __builtin_trap();
        const std::string n = tvd::FormatText(narrow, args);
        if (n.size() > tvd::kFormatTextMax || !WellFormedUtf8(n)) __builtin_trap();
        // A text that takes exactly these arguments consumes each once.
        if (tvd::FormatMatches(wide, args) && tvd::FormatSpecifiers(wide)->size() != args.size())
            __builtin_trap();
    }
    return 0;
}
