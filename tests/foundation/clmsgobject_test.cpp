#include "foundation/clmsgobject.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvd {
namespace {

// ---- fixture builders ----

// The table as a resource holds it: UTF-16LE bytes, in a heap block of exactly that size so
// that the address sanitizer sees any read past the end.
std::vector<std::uint8_t> Utf16Le(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t u : text) {
        bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return bytes;
}

bool LoadTable(clMsgObject& msg, std::u16string_view text) {
    const auto bytes = Utf16Le(text);
    return msg.Load(bytes.data(), bytes.size());
}

std::optional<std::u16string> Text(const char16_t* p) {
    if (p == nullptr) return std::nullopt;
    return std::u16string(p);
}

std::int32_t Wrapped(std::uint32_t v) {
    return static_cast<std::int32_t>(v);
}

std::u16string Decimal(int n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// ---- Load and FindText ----

TEST(MsgObject, LinesGiveIdsAndTexts) {
    clMsgObject msg;
    ASSERT_TRUE(LoadTable(msg, u"20001\tEnglish\r\n"
                               u"20002 Yes\r\n"   // space separator
                               u"20003\t\r\n"     // empty text
                               u"NoSeparator\r\n" // no TAB or space
                               u"\t20004 Leading tab\n"
                               u" 20005\tLeading space\n"
                               u"20006\tFirst\n"
                               u"20006\tSecond\n"     // duplicate id: never seen
                               u"12a3\tDigits stop\r" // parse stops at the first non-digit
                               u"abc\tNo digits\x1a"  // SUB ends a line too
                               u"4294967297\tWraps to one\n"
                               u"2147483648\tWraps negative\n"
                               u"\u0134\u0132\tLow bytes\n" // low bytes '4' and '2'
                               u"20007\tword\tand space kept"));
    struct Row {
        std::int32_t id;
        std::optional<std::u16string> text;
    } rows[] = {
        {20001, u"English"},
        {20002, u"Yes"},
        {20003, u""},
        {20006, u"First"},
        {12, u"Digits stop"},
        {1, u"Wraps to one"},
        {std::numeric_limits<std::int32_t>::min(), u"Wraps negative"},
        {42, u"Low bytes"},
        {20007, u"word\tand space kept"},
        {0, std::nullopt}, // never found
        {20004, std::nullopt},
        {20005, std::nullopt},
        {99999, std::nullopt},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Text(msg.FindText(r.id)), r.text) << r.id;
}

TEST(MsgObject, EntriesFollowTheLines) {
    clMsgObject msg;
    // Blank lines and runs of breaks do not make entries; a line without separator does.
    ASSERT_TRUE(LoadTable(msg, u"\r\n\r\n1\tone\r\n\r\n\n\x1a"
                               u"bare\n2 two\n\t3\tx"));
    struct Row {
        std::int32_t id;
        std::optional<std::u16string> text;
        std::uint32_t length;
    } rows[] = {
        {1, u"one", 3},
        {0, std::nullopt, 0},
        {2, u"two", 3},
        {0, std::nullopt, 0},
    };
    ASSERT_EQ(msg.EntryCount(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto e = msg.EntryAt(i);
        EXPECT_EQ(e.id, rows[i].id) << i;
        EXPECT_EQ(Text(e.text), rows[i].text) << i;
        EXPECT_EQ(e.length, rows[i].length) << i;
    }
    EXPECT_EQ(msg.EntryAt(99).text, nullptr);
}

TEST(MsgObject, LastLineWithoutBreakIsTerminated) {
    clMsgObject msg;
    ASSERT_TRUE(LoadTable(msg, u"1\tfirst\r\n2\tlast"));
    const char16_t* last = msg.FindText(2);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(std::u16string(last), u"last");
    EXPECT_EQ(last[4], 0);
}

TEST(MsgObject, IdsTruncateTo32BitsWithoutOverflow) {
    struct Row {
        const char16_t* line;
        std::int32_t id;
    } rows[] = {
        {u"2147483647\tx", 2147483647},
        {u"4294967295\tx", -1},
        {u"12345678901\tx", Wrapped(3755744309u)},
        {u"99999999999999999999\tx", Wrapped(1661992959u)},
        {u"0000000000000000000000000000000000000000000000000000000000007\tx", 7},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.id);
        clMsgObject msg;
        ASSERT_TRUE(LoadTable(msg, r.line));
        ASSERT_EQ(msg.EntryCount(), 1u);
        EXPECT_EQ(msg.EntryAt(0).id, r.id);
        EXPECT_EQ(Text(msg.FindText(r.id)), std::u16string(u"x"));
    }
}

TEST(MsgObject, OddByteLengthIgnoresTheTrailingByte) {
    auto bytes = Utf16Le(u"5\tAB");
    bytes.push_back('C'); // half a code unit
    clMsgObject msg;
    ASSERT_TRUE(msg.Load(bytes.data(), bytes.size()));
    EXPECT_EQ(Text(msg.FindText(5)), std::u16string(u"AB"));

    auto heapOne = std::make_unique<std::uint8_t[]>(1);
    heapOne[0] = '7';
    ASSERT_TRUE(msg.Load(heapOne.get(), 1));
    EXPECT_EQ(msg.EntryCount(), 0u);
}

TEST(MsgObject, RefusedLoadsLeaveTheTableAsItWas) {
    clMsgObject msg;
    ASSERT_TRUE(LoadTable(msg, u"1\tkept"));
    const auto bytes = Utf16Le(u"2\tnew");
    // A length no table can have is refused before anything is read.
    EXPECT_FALSE(msg.Load(bytes.data(), std::numeric_limits<std::size_t>::max()));
    EXPECT_FALSE(msg.Load(bytes.data(), std::size_t{0xFFFFFFFFu}));
    EXPECT_FALSE(msg.Load(nullptr, 4));
    EXPECT_EQ(Text(msg.FindText(1)), std::u16string(u"kept"));
    EXPECT_EQ(msg.FindText(2), nullptr);

    ASSERT_TRUE(msg.Load(bytes.data(), bytes.size())); // a new table replaces the old one
    EXPECT_EQ(msg.FindText(1), nullptr);
    EXPECT_EQ(Text(msg.FindText(2)), std::u16string(u"new"));

    EXPECT_TRUE(msg.Load(nullptr, 0)); // empty table
    EXPECT_EQ(msg.EntryCount(), 0u);
    EXPECT_EQ(msg.FindText(2), nullptr);
    EXPECT_EQ(msg.GetText(2), nullptr);
}

TEST(MsgObject, GarbageTablesStayInBounds) {
    std::uint32_t seed = 0x2545F491u;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 24;
    };
    for (int round = 0; round < 40; ++round) {
        const std::size_t size = 1 + next() * 37 + (round % 2); // odd and even lengths
        auto bytes = std::make_unique<std::uint8_t[]>(size);
        for (std::size_t i = 0; i < size; ++i) {
            // Mostly digits, separators, breaks and backslashes, so that lines form.
            static const std::uint8_t kAlphabet[] = {'1',  '2', '9', '\t', ' ', '\r', '\n', 26,
                                                     '\\', 'n', 'r', '%',  0,   0xFF, 'x'};
            bytes[i] = kAlphabet[next() % sizeof kAlphabet];
        }
        clMsgObject msg;
        ASSERT_TRUE(msg.Load(bytes.get(), size));
        for (std::size_t i = 0; i < msg.EntryCount(); ++i) {
            const auto e = msg.EntryAt(i);
            if (e.text == nullptr) continue;
            EXPECT_EQ(e.text[e.length], 0);
            // The first line of an id answers; its expansion is never longer than its text.
            const char16_t* found = msg.FindText(e.id);
            if (const char16_t* t = msg.GetText(e.id)) {
                ASSERT_NE(found, nullptr);
                EXPECT_LE(std::char_traits<char16_t>::length(t),
                          std::char_traits<char16_t>::length(found));
            }
        }
    }
}

// ---- GetText ----

TEST(MsgObject, GetTextExpandsLineBreakEscapes) {
    struct Row {
        const char16_t* stored; // as written in the table
        std::u16string want;
        bool same; // the stored text itself comes back (no copy needed)
    } rows[] = {
        {u"plain", u"plain", true},
        {u"two\\nlines", u"two\nlines", false},
        {u"a\\rb", u"a\rb", false},
        {u"\\r\\n", u"\r\n", false},
        {u"end\\n", u"end\n", false},
        {u"C:\\\\Windows", u"C:\\\\Windows", true}, // pairs alone: returned unchanged
        {u"100%% done", u"100%% done", true},
        {u"%s of %d", u"%s of %d", false}, // checked, copied unchanged
        {u"back\\slash", u"back\\slash", false},
        {u"trailing\\", u"trailing\\", false},
        {u"%%\\n", u"%%\n", false},
        // "\\" is no escape of its own: once a copy is made, "\\n" turns into "\" and LF.
        {u"\\\\n\\n", u"\\\n\n", false},
    };
    for (const Row& r : rows) {
        clMsgObject msg;
        ASSERT_TRUE(LoadTable(msg, std::u16string(u"9\t") + r.stored + u"\r\n"));
        const char16_t* found = msg.FindText(9);
        const char16_t* got = msg.GetText(9);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(std::u16string(got), r.want);
        EXPECT_EQ(got == found, r.same);
        EXPECT_EQ(std::u16string(found), std::u16string(r.stored)); // the table is untouched
    }
}

TEST(MsgObject, GetTextOfMissingOrEmptyTextIsNone) {
    clMsgObject msg;
    ASSERT_TRUE(LoadTable(msg, u"1\t\n0\tzero\nbare\n"));
    EXPECT_NE(msg.FindText(1), nullptr);
    EXPECT_EQ(msg.GetText(1), nullptr); // empty
    EXPECT_EQ(msg.FindText(0), nullptr);
    EXPECT_EQ(msg.GetText(0), nullptr);
    EXPECT_EQ(msg.GetText(2), nullptr);
}

TEST(MsgObject, WorkBufferFitsEveryCopy) {
    // Texts of growing and shrinking lengths, each made only of escapes (the longest copy
    // relative to the text) or with one escape at the very end.
    clMsgObject msg;
    std::u16string table;
    const std::size_t lengths[] = {1, 255, 256, 257, 4000, 3, 70000, 10};
    int id = 1;
    std::vector<std::u16string> want;
    for (std::size_t n : lengths) {
        std::u16string text(n, u'x');
        text += u"\\n";
        table += Decimal(id++) + u"\t" + text + u"\n";
        want.push_back(std::u16string(n, u'x') + u"\n");
    }
    ASSERT_TRUE(LoadTable(msg, table));
    for (std::size_t i = 0; i < want.size(); ++i) {
        const char16_t* got = msg.GetText(static_cast<std::int32_t>(i + 1));
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(std::u16string(got), want[i]) << i;
    }
    // Every expanded result is terminated where the copy ends, not left over from before.
    ASSERT_TRUE(LoadTable(msg, u"1\tlong long long text\\n\n2\tab\\n\n"));
    ASSERT_NE(msg.GetText(1), nullptr);
    EXPECT_EQ(std::u16string(msg.GetText(2)), u"ab\n");
}

// ---- the rest ----

TEST(MsgObject, LanguageCodeAndClassCheck) {
    clMsgObject msg;
    EXPECT_STREQ(msg.Language(), "");
    msg.SetLanguage("deu");
    EXPECT_STREQ(msg.Language(), "deu");
    msg.SetLanguage("english");
    EXPECT_STREQ(msg.Language(), "eng");
    msg.SetLanguage("ja");
    EXPECT_STREQ(msg.Language(), "ja");
    msg.SetLanguage(nullptr);
    EXPECT_STREQ(msg.Language(), "");
    EXPECT_TRUE(msg.IsA("clMsgObject"));
    EXPECT_TRUE(msg.IsA("clZoltItem"));
    EXPECT_FALSE(msg.IsA("clmsgobject"));
}

TEST(MsgObject, LivesAsAReferenceCountedItem) {
    auto msg = MakeZoltRef<clMsgObject>();
    ASSERT_TRUE(msg);
    ASSERT_TRUE(LoadTable(*msg, u"3\tthree"));
    EXPECT_EQ(msg->RefCount(), 1);
    EXPECT_EQ(Text(msg->GetText(3)), std::u16string(u"three"));
}

} // namespace
} // namespace tvd
