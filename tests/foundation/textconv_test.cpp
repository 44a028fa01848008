#include "foundation/textconvutil.h"

#include <gtest/gtest.h>

#include <string>

namespace tvd {
namespace {

TEST(TextConv, ValidTextRoundTrips) {
    struct Row {
        std::string utf8;
        std::u16string utf16;
    } rows[] = {
        {"", u""},
        {"plain ASCII", u"plain ASCII"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         u"Gr\u00FC\u00DFe"},                                 // two-byte forms
        {"\xE2\x82\xAC \xEF\xBF\xBD", u"\u20AC \uFFFD"},      // three-byte forms
        {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},                // U+1F600, a pair
        {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},                // U+10FFFF
        {"\xF0\x90\x80\x80x", u"\xD800\xDC00x"},              // U+10000
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)}, // NUL kept
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Utf8ToUtf16(r.utf8), r.utf16) << r.utf8;
        EXPECT_EQ(Utf16ToUtf8(r.utf16), r.utf8) << r.utf8;
    }
}

TEST(TextConv, InvalidInputBecomesReplacementCharacters) {
    struct Row {
        std::string utf8;
        std::u16string utf16;
    } rows[] = {
        {"a\x80z", u"a\uFFFDz"},                           // lone continuation byte
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                     // overlong '/'
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},           // overlong, three bytes
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},           // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"}, // above U+10FFFF
        {"\xE2\x82", u"\uFFFD"},                           // truncated at the end
        {"\xE2\x82x", u"\uFFFDx"},                         // truncated in the middle
        {"\xF0\x9F\x98", u"\uFFFD"},
        {"\xFF\xFE", u"\uFFFD\uFFFD"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Utf8ToUtf16(r.utf8), r.utf16) << testing::PrintToString(r.utf8);

    struct Row16 {
        std::u16string utf16;
        std::string utf8;
    } rows16[] = {
        {u"\xD800", "\xEF\xBF\xBD"},                   // lone high surrogate at the end
        {u"\xD800x", "\xEF\xBF\xBDx"},                 // high surrogate without its low one
        {u"\xDC00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"}, // reversed pair
        {u"x\xDE00", "x\xEF\xBF\xBD"},                 // lone low surrogate
    };
    for (const auto& r : rows16)
        EXPECT_EQ(Utf16ToUtf8(r.utf16), r.utf8) << testing::PrintToString(r.utf8);
}

TEST(TextConv, Utf8CodePageMatchesTheDirectConversion) {
    const std::u16string text = u"Gr\u00FC\u00DFe \xD83D\xDE00";
    EXPECT_EQ(Utf16ToCodePage(text, kCodePageUtf8), Utf16ToUtf8(text));
    EXPECT_EQ(CodePageToUtf16(Utf16ToUtf8(text), kCodePageUtf8), text);
}

} // namespace
} // namespace tvd
