#include "shell/formattext.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace tvd {
namespace {

TEST(FormatText, ConversionsFlagsWidthPrecision) {
    const std::uint64_t big = 5'000'000'000ull;
    struct Row {
        const char* format;
        std::vector<FormatArg> args;
        const char* want;
    } rows[] = {
        {"%d|%i|%u", {-5, 7, 9u}, "-5|7|9"},
        {"%5d|%-5d|%05d|%+d|% d", {42, 42, 42, 42, 42}, "   42|42   |00042|+42| 42"},
        {"%x %X %#x %08X", {255u, 255u, 255u, 0xBEEFu}, "ff FF 0xff 0000BEEF"},
        {"%.3d|%.0d|%5.3d", {7, 0, -7}, "007|| -007"},
        {"%i", {big}, "5000000000"}, // full 64-bit value, no 32-bit wrap
        {"%I64u %llu %lu", {big, big, big}, "5000000000 5000000000 5000000000"},
        {"%lld", {std::numeric_limits<long long>::min()}, "-9223372036854775808"},
        {"%hu %hd", {70000u, 40000}, "4464 -25536"},
        {"%.2f|%.f|%f|%8.1f|%-8.1f|",
         {2.5, 2.5, 1.0, -3.25, 3.25},
         "2.50|2|1.000000|    -3.2|3.2     |"},
        {"%#.f", {3.0}, "3."},
        {"%s and %S", {"narrow", u"wide"}, "narrow and wide"},
        {"%.3s|%5s|%-5s|", {"abcdef", "ab", "ab"}, "abc|   ab|ab   |"},
        {"%c%C%c", {65, char16_t(0x00E9), 0x1F600}, "A\xC3\xA9\xF0\x9F\x98\x80"},
        {"100%% sure", {}, "100% sure"},
        {"%s", {static_cast<const char*>(nullptr)}, ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FormatText(r.format, r.args), r.want) << r.format;
}

TEST(FormatText, NeverReadsAnArgumentItWasNotGiven) {
    struct Row {
        const char* format;
        std::vector<FormatArg> args;
        const char* want;
    } rows[] = {
        {"%s does not support %s.", {"Tarvik"}, "Tarvik does not support %s."},
        {"%i Devices", {}, "%i Devices"},
        {"%s", {42}, "%s"},          // an integer is no text
        {"%d", {"x"}, "%d"},         // and a text no integer
        {"%f", {1}, "%f"},           // nor an integer a float
        {"%n%d", {5}, "%n5"},        // %n writes nothing and takes nothing
        {"%*d", {5, 6}, "%*d"},      // "*" is not supported
        {"%p %q", {1, 2}, "%p %q"},  // unknown conversions stay as written
        {"50%", {}, "50%"},          // a lone "%" at the end
        {"%d %d", {1, 2, 3}, "1 2"}, // extra arguments are ignored
    };
    for (const auto& r : rows)
        EXPECT_EQ(FormatText(r.format, r.args), r.want) << r.format;
}

TEST(FormatText, WideAndNarrowAgree) {
    EXPECT_EQ(FormatText(u"%s, %S: %i \u00B0C", {"C:", u"D:", -3}), u"C:, D:: -3 \u00B0C");
    EXPECT_EQ(FormatText("%s", {u"\u5FAE\u8EDF"}), "\xE5\xBE\xAE\xE8\xBB\x9F");
    EXPECT_EQ(FormatText(u"%s", {"\xE5\xBE\xAE"}), u"\u5FAE");
}

TEST(FormatText, CutsAt1023WithoutSplittingACharacter) {
    const std::u16string a1022(1022, u'a');
    const std::u16string emoji = u"\U0001F600";
    // 1022 units and a pair: the pair would end at 1024, so it goes whole.
    EXPECT_EQ(FormatText(u"%s%s", {a1022, emoji}), a1022);
    const std::u16string a1021(1021, u'a');
    EXPECT_EQ(FormatText(u"%s%s", {a1021, emoji}), a1021 + emoji);
    EXPECT_EQ(FormatText(u"%2000s", {u"x"}).size(), kFormatTextMax);

    const std::string b1022(1022, 'b');
    const std::string out = FormatText("%s%s", {b1022, "\xC3\xA9"}); // two-byte character
    EXPECT_EQ(out, b1022);
    EXPECT_EQ(FormatText("%s%s", {std::string(1021, 'b'), "\xC3\xA9"}).size(), 1023u);
    const std::string huge(100000, 'z');
    EXPECT_EQ(FormatText("%s", {huge}).size(), kFormatTextMax);
}

TEST(FormatText, SpecifierClassesAndMatching) {
    using C = FormatArgClass;
    EXPECT_EQ(FormatSpecifiers(u"%s does not support %s."), (std::vector<C>{C::kText, C::kText}));
    EXPECT_EQ(FormatSpecifiers(u"%-08.3I64u %% %ls %.2f %C"),
              (std::vector<C>{C::kInteger, C::kText, C::kFloat, C::kInteger}));
    for (const char16_t* bad : {u"%n", u"%*d", u"%.*s", u"100%", u"%p", u"%e"})
        EXPECT_FALSE(FormatSpecifiers(bad)) << std::u16string_view(bad).size();

    EXPECT_TRUE(FormatMatches(u"%s does not support %s.", {"a", u"b"}));
    EXPECT_FALSE(FormatMatches(u"%s does not support %s.", {"a"}));
    EXPECT_FALSE(FormatMatches(u"%s does not support %i.", {"a", "b"}));
    EXPECT_FALSE(FormatMatches(u"%i Devices%n", {3}));
    EXPECT_TRUE(FormatMatches(u"no arguments", {}));
}

} // namespace
} // namespace tvd
