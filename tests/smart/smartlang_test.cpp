#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/fileutil.h"
#include "foundation/textconvutil.h"
#include "smart/smartlangutil.h"

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;

// MSB-first bit string from '0'/'1' characters (anything else is spacing); zero padded.
Bytes Bits(const std::string& text) {
    Bytes out;
    int n = 0;
    for (char c : text) {
        if (c != '0' && c != '1') continue;
        if (n % 8 == 0) out.push_back(0);
        if (c == '1') out.back() |= static_cast<std::uint8_t>(0x80 >> (n % 8));
        ++n;
    }
    return out;
}

std::string ByteBits(std::uint8_t v) {
    std::string s;
    for (int i = 7; i >= 0; --i)
        s += ((v >> i) & 1) ? '1' : '0';
    return s;
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// The complete depth-8 tree (511 nodes, the most allowed): every byte codes as its own bits.
std::string FullTree(int depth = 8, unsigned prefix = 0) {
    std::string bits = depth ? "01" : "1";
    if (depth == 0) {
        bits += ByteBits(static_cast<std::uint8_t>(prefix));
        return bits;
    }
    bits += FullTree(depth - 1, prefix << 1);
    bits += '1';
    bits += FullTree(depth - 1, prefix << 1 | 1);
    return bits;
}

Bytes FixedCode(const Bytes& text) {
    std::string bits = FullTree();
    for (std::uint8_t b : text)
        bits += ByteBits(b);
    return Bits(bits);
}

Bytes Utf16Text(std::u16string_view text, bool bom = true) {
    Bytes out;
    if (bom) out = {0xFF, 0xFE};
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

struct Lang {
    std::uint32_t id;
    Bytes text;
};

Bytes Pack(const std::vector<Lang>& langs) {
    Bytes body, dir;
    for (const Lang& l : langs) {
        const Bytes coded = FixedCode(l.text);
        Bytes e(16);
        StoreLe<std::uint32_t>(e, 0, l.id);
        StoreLe<std::uint32_t>(e, 4, static_cast<std::uint32_t>(body.size()));
        StoreLe<std::uint32_t>(e, 8, static_cast<std::uint32_t>(l.text.size()));
        StoreLe<std::uint32_t>(e, 12, static_cast<std::uint32_t>(coded.size()));
        body.insert(body.end(), coded.begin(), coded.end());
        dir.insert(dir.end(), e.begin(), e.end());
    }
    body.insert(body.end(), dir.begin(), dir.end());
    Bytes count(4);
    StoreLe<std::uint32_t>(count, 0, static_cast<std::uint32_t>(langs.size()));
    body.insert(body.end(), count.begin(), count.end());
    return body;
}

// What the packer makes of a UTF-8 source: BOM, UTF-16LE, every line ended by CR LF.
Bytes ExpectedText(const Bytes& source) {
    std::string s(source.begin(), source.end());
    if (s.rfind("\xEF\xBB\xBF", 0) == 0) s.erase(0, 3);
    std::string crlf;
    std::size_t start = 0;
    while (start < s.size()) {
        std::size_t end = s.find('\n', start);
        if (end == std::string::npos) end = s.size();
        std::string line = s.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        crlf += line + "\r\n";
        start = end + 1;
    }
    return Utf16Text(Utf8ToUtf16(crlf));
}

ByteView RealResource() {
    ByteView bytes;
    EXPECT_TRUE(FindRcData(kSmartLangResourceName, bytes));
    return bytes;
}

class SmartLang : public ::testing::Test {
protected:
    void SetUp() override { UnloadSmartNames(); }
    void TearDown() override { UnloadSmartNames(); }
};

TEST(SmartLangCode, RealResourceDecodesToEachSourceText) {
    const ByteView resource = RealResource();
    std::vector<SmartLangEntry> entries;
    ASSERT_TRUE(ReadSmartLangDirectory(resource, entries));
    const std::vector<std::uint32_t> order = {0x0809, 0x0404, 0x0804, 0x0411, 0x0412, 0x0419};
    ASSERT_EQ(entries.size(), order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        SCOPED_TRACE(order[i]);
        EXPECT_EQ(entries[i].language, order[i]);
        char name[16];
        std::snprintf(name, sizeof name, "/%04X.ini", static_cast<unsigned>(order[i]));
        Bytes source, text;
        ASSERT_EQ(ReadWholeFile(std::string(TVD_SMARTLANG_SOURCE_DIR) + name, source), 0);
        ASSERT_TRUE(DecodeSmartLang(resource, order[i], text));
        EXPECT_EQ(text, ExpectedText(source));
    }
}

TEST(SmartLangCode, HandBuiltStreams) {
    const std::string a = ByteBits('A'), b = ByteBits('B');
    const std::string twoLeaves = "0 1 1" + a + " 1 1" + b; // 21 bits
    const std::string chain510 = Repeat("01", 510) + "1" + a + Repeat("0", 510);
    struct Case {
        const char* name;
        Bytes coded;
        std::size_t size;
        std::optional<std::string> expected; // none: must fail
    };
    const std::vector<Case> cases = {
        {"leaf root emits without bits", Bits("1" + a), 3, "AAA"},
        {"leaf root, nothing to emit", Bits("1" + a), 0, ""},
        {"two leaves", Bits(twoLeaves + "0110"), 4, "ABBA"},
        // 21 + 11 bits fill 4 bytes exactly: the 12th symbol has no bit left.
        {"stream ends on a byte boundary", Bits(twoLeaves + "01101001110"), 11, "ABBABAABBBA"},
        {"stream ends early", Bits(twoLeaves + "01101001110"), 12, std::nullopt},
        {"path into a missing right child", Bits("0 1 1" + a + " 0 1"), 1, std::nullopt},
        {"missing child never reached", Bits("0 1 1" + a + " 0 0"), 1, "A"},
        {"inner node without children", Bits("0 0 0 0"), 1, std::nullopt},
        {"tree cut inside a leaf", Bits("0 1 1 0100"), 1, std::nullopt},
        {"empty stream", Bytes{}, 1, std::nullopt},
        {"511 nodes", Bits(chain510 + Repeat("0", 510)), 1, "A"},
        {"512 nodes", Bits("01" + chain510 + "0" + Repeat("0", 511)), 1, std::nullopt},
        {"size past the limit", Bits("1" + a), std::size_t(16u << 20) + 1, std::nullopt},
        {"absurd size", Bits("1" + a), std::numeric_limits<std::size_t>::max(), std::nullopt},
        {"more symbols than bits", Bits(twoLeaves), 1000, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out = {1, 2, 3};
        const bool ok = TreeDecode(c.coded, c.size, out);
        EXPECT_EQ(ok, c.expected.has_value());
        if (c.expected) {
            EXPECT_EQ(std::string(out.begin(), out.end()), *c.expected);
        } else {
            EXPECT_TRUE(out.empty());
        }
    }
}

TEST(SmartLangCode, FullTreeRoundTrip) {
    Bytes all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<std::uint8_t>(255 - i));
    Bytes out;
    ASSERT_TRUE(TreeDecode(FixedCode(all), all.size(), out));
    EXPECT_EQ(out, all);
}

TEST_F(SmartLang, CorruptContainers) {
    const Bytes text = Utf16Text(u"[Smart]\r\n01=One\r\n");
    const Bytes good = Pack({{0x0809, text}});
    const std::size_t dir = good.size() - 4 - 16;
    struct Case {
        const char* name;
        std::size_t at;
        std::uint32_t value;
    };
    const std::vector<Case> cases = {
        {"count too large", good.size() - 4,
         static_cast<std::uint32_t>((good.size() - 4) / 16 + 1)},
        {"count overflows 32 bits", good.size() - 4, 0x10000000},
        {"count at maximum", good.size() - 4, 0xFFFFFFFF},
        {"offset past the data", dir + 4, static_cast<std::uint32_t>(dir)},
        {"offset + size wraps 32 bits", dir + 4, 0xFFFFFFF0},
        {"coded size into the directory", dir + 12, static_cast<std::uint32_t>(dir + 1)},
        {"zero coded size", dir + 12, 0},
    };
    std::vector<SmartLangEntry> entries;
    Bytes decoded;
    ASSERT_TRUE(ReadSmartLangDirectory(good, entries));
    ASSERT_TRUE(DecodeSmartLang(good, 0x0809, decoded));
    EXPECT_EQ(decoded, text);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bad = good;
        ASSERT_TRUE(StoreLe<std::uint32_t>(bad, c.at, c.value));
        EXPECT_FALSE(ReadSmartLangDirectory(bad, entries));
        EXPECT_TRUE(entries.empty());
        EXPECT_FALSE(DecodeSmartLang(bad, 0x0809, decoded));
        EXPECT_FALSE(LoadSmartNamesFrom(bad, 0x0809));
        EXPECT_FALSE(SmartAttributeName(u"Smart", 0x01));
    }
    for (const Bytes& tiny : {Bytes{}, Bytes{0, 0, 0}}) {
        EXPECT_FALSE(ReadSmartLangDirectory(tiny, entries));
    }
    EXPECT_TRUE(ReadSmartLangDirectory(Bytes{0, 0, 0, 0}, entries));
    EXPECT_FALSE(DecodeSmartLang(Bytes{0, 0, 0, 0}, 0x0809, decoded));
}

TEST_F(SmartLang, EnglishNamesFromTheProgramResource) {
    EXPECT_FALSE(SmartUnnamedAttributeText());
    ASSERT_TRUE(LoadSmartNames(kSmartLangResourceName, kSmartLangFallback));
    struct Case {
        const char16_t* section;
        std::uint8_t id;
        const char16_t* expected; // null: no entry
    };
    const std::vector<Case> cases = {
        {u"SmartSsd", 0xC2, u"Temperature"},
        {u"SmartSsd", 0xFF, u"Remaining Life"},
        {u"SmartSsd", 0x64, nullptr},
        {u"Smart", 0x0A, u"Spin Retry Count"},
        {u"Smart", 0xE2, u"Load 'In'-time"},
        {u"SmartNVMe", 0x0F, u"Number of Error Information Log Entries"},
        {u"NoSuchSection", 0x01, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.section) + " " + std::to_string(c.id));
        const auto name = SmartAttributeName(c.section, c.id);
        if (c.expected) {
            EXPECT_EQ(name, std::u16string(c.expected));
        } else {
            EXPECT_FALSE(name);
        }
    }
    EXPECT_EQ(SmartUnnamedAttributeText(), u"Vendor Specific");
    EXPECT_FALSE(LoadSmartNames("TVDNOSUCHDATA", 0x0411));
    EXPECT_FALSE(LoadSmartNames(nullptr, 0x0411));
    EXPECT_EQ(SmartAttributeName(u"SmartSsd", 0xC2), u"Temperature");
}

TEST_F(SmartLang, LanguageOverridesFallbackOnlyWhereItHasTheKey) {
    const Bytes fallbackA = Utf16Text(u"[Smart]\r\n01=One\r\n02=Two\r\nVENDOR_SPECIFIC=Other\r\n");
    const Bytes fallbackB = Utf16Text(u"[Smart]\r\n01=Uno\r\n");
    const Bytes japanese = Utf16Text(u"[Smart]\r\n02=Ni\r\n[SmartSsd]\r\n03=San\r\n");
    const Bytes resA = Pack({{0x0809, fallbackA},
                             {0x0411, japanese},
                             {0x0412, Utf16Text(u"[Smart]\r\n01=Il\r\n", false)}});
    const Bytes resB = Pack({{0x0809, fallbackB}, {0x0411, japanese}});
    using Name = std::optional<std::u16string>;
    auto names = [] {
        return std::vector<Name>{SmartAttributeName(u"Smart", 1), SmartAttributeName(u"Smart", 2),
                                 SmartAttributeName(u"SmartSsd", 3), SmartUnnamedAttributeText()};
    };
    ASSERT_TRUE(LoadSmartNamesFrom(resA, 0x0411));
    EXPECT_EQ(names(), (std::vector<Name>{u"One", u"Ni", u"San", u"Other"}));
    // The fallback stays the first one loaded.
    ASSERT_TRUE(LoadSmartNamesFrom(resB, 0x0411));
    EXPECT_EQ(names(), (std::vector<Name>{u"One", u"Ni", u"San", u"Other"}));
    // No byte-order mark, or no such language: no override left behind.
    for (std::uint32_t lang : {0x0412u, 0x0419u}) {
        EXPECT_FALSE(LoadSmartNamesFrom(resA, lang));
        EXPECT_EQ(names(), (std::vector<Name>{u"One", u"Two", std::nullopt, u"Other"}));
    }
    ASSERT_TRUE(LoadSmartNamesFrom(resA, 0x0411));
    ASSERT_TRUE(LoadSmartNamesFrom(resA, 0x0809));
    EXPECT_EQ(names(), (std::vector<Name>{u"One", u"Two", std::nullopt, u"Other"}));
}

TEST_F(SmartLang, LookupsWhileReloading) {
    const Bytes res = Pack({{0x0809, Utf16Text(u"[Smart]\r\n01=One\r\n")},
                            {0x0411, Utf16Text(u"[Smart]\r\n01=Ichi\r\n")}});
    ASSERT_TRUE(LoadSmartNamesFrom(res, 0x0809));
    std::thread reader([] {
        for (int i = 0; i < 2000; ++i) {
            const auto name = SmartAttributeName(u"Smart", 1);
            EXPECT_TRUE(name == u"One" || name == u"Ichi");
        }
    });
    for (int i = 0; i < 200; ++i)
        LoadSmartNamesFrom(res, i % 2 ? 0x0411 : 0x0809);
    reader.join();
}

} // namespace
} // namespace tvd
