#include "shell/languagetables.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "foundation/fileutil.h"
#include "foundation/textconvutil.h"

namespace tvd {
namespace {

// A resource as the build makes it: byte-order mark, UTF-16LE lines.
std::vector<std::uint8_t> Resource(std::u16string_view text) {
    std::vector<std::uint8_t> out = {0xFF, 0xFE};
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

struct FakeResources {
    std::map<std::string, std::vector<std::uint8_t>> byName;
    TableFinder Finder() const {
        return [this](const char* name, ByteView& bytes) {
            auto it = byName.find(name);
            if (it == byName.end()) return false;
            bytes = ByteView(it->second.data(), it->second.size());
            return true;
        };
    }
};

FakeResources SixTables() {
    FakeResources r;
    r.byName["MSG_ENG"] = Resource(u"20004\tOK\r\n21012\t%i Devices\r\n30000\tOnly English\r\n"
                                   u"20022\t%s does not support %s.\r\n");
    r.byName["MSG_KOR"] = Resource(u"20004\t\uD655\uC778\r\n21012\t\uC7A5\uCE58 %i\uAC1C\r\n");
    r.byName["MSG_JPN"] = Resource(u"20004\tOK-JPN\r\n");
    r.byName["MSG_RUS"] = Resource(u"20004\tOK-RUS\r\n21012\t%s\r\n20022\t%s %s %s\r\n");
    r.byName["MSG_CHT"] = Resource(u"20004\tOK-CHT\r\n");
    r.byName["MSG_CHS"] = Resource(u"20004\tOK-CHS\r\n");
    return r;
}

TEST(LanguageTables, LangValueAndUserLanguageChooseTheTable) {
    const FakeResources res = SixTables();
    struct Row {
        std::optional<std::u16string> lang;
        std::uint16_t userLangId;
        const char* code;
        std::uint8_t charset;
        const char16_t* font;
    } rows[] = {
        {u"KOR", 1033, "KOR", 129, u"Segoe UI"},
        {u"kor", 1042, "ENG", 1, u"Segoe UI"}, // case-sensitive; not the user's language either
        {u"JPNX", 1033, "JPN", 128, u"Yu Gothic UI"}, // three characters compared
        {u"", 1031, "ENG", 1, u"Segoe UI"},           // DEU ships no table
        {std::nullopt, 1031, "ENG", 1, u"Segoe UI"},
        {std::nullopt, 1049, "RUS", 204, u"Segoe UI"},
        {u"", 2052, "CHS", 134, u"Microsoft YaHei"},
        {u"", 3076, "CHT", 136, u"\u5FAE\u8EDF\u6B63\u9ED1\u9AD4"}, // Hong Kong: Traditional
        {u"EN", 1042, "ENG", 1, u"Segoe UI"}, // too short: the default, not the user's
        {u"K", 1042, "ENG", 1, u"Segoe UI"},
        {u"DEU", 1042, "ENG", 1, u"Segoe UI"}, // names no loaded table
        {std::u16string(u"K\0R", 3), 1042, "ENG", 1, u"Segoe UI"},
        {u"\uD55CKR", 1042, "ENG", 1, u"Segoe UI"},
    };
    for (const auto& r : rows) {
        clLanguageRegistry reg;
        std::optional<std::u16string_view> lang;
        if (r.lang) lang = *r.lang;
        ASSERT_TRUE(reg.Load(res.Finder(), lang, r.userLangId));
        EXPECT_EQ(reg.TableCount(), 6u);
        EXPECT_STREQ(reg.CurrentCode(), r.code) << Utf16ToUtf8(r.lang.value_or(u"(none)"));
        EXPECT_EQ(reg.UiCharset(), r.charset) << r.code;
        EXPECT_EQ(reg.UiFontName(), r.font) << r.code;
    }
}

TEST(LanguageTables, MissingIdFallsBackToTheDefaultTable) {
    const FakeResources res = SixTables();
    clLanguageRegistry reg;
    ASSERT_TRUE(reg.Load(res.Finder(), u"RUS", 1033));
    EXPECT_EQ(reg.Text(20004), u"OK-RUS");
    EXPECT_EQ(reg.Text(30000), u"Only English");
    EXPECT_FALSE(reg.Text(31234));
    EXPECT_FALSE(reg.Text(0));
}

TEST(LanguageTables, FormattedTextsUseATableTextOnlyWhenItsConversionsFit) {
    const FakeResources res = SixTables();
    clLanguageRegistry reg;
    ASSERT_TRUE(reg.Load(res.Finder(), u"KOR", 1033));
    EXPECT_EQ(reg.Format(21012, {3}), u"\uC7A5\uCE58 3\uAC1C");
    // Korean has no 20022: English.
    EXPECT_EQ(reg.Format(20022, {"Tarvik", "Windows Vista"}),
              u"Tarvik does not support Windows Vista.");
    // English itself does not fit arguments it was not written for.
    EXPECT_EQ(reg.Format(20022, {"Tarvik"}), u"");

    ASSERT_TRUE(reg.Load(res.Finder(), u"RUS", 1033));
    // "%s" for a count and three texts for two: the translation is passed over.
    EXPECT_EQ(reg.Format(21012, {3}), u"3 Devices");
    EXPECT_EQ(reg.Format(20022, {"Tarvik", "X"}), u"Tarvik does not support X.");
}

TEST(LanguageTables, DamagedResourcesAreSkipped) {
    struct Row {
        std::vector<std::uint8_t> bytes;
        bool loads;
    } rows[] = {
        {{}, false},
        {{0xFF, 0xFE}, false}, // 2 bytes: only the mark
        {{0xFF}, false},
        {{0xFE, 0xFF, 0x31, 0x00}, false},             // big-endian mark
        {{0x31, 0x00, 0x09, 0x00, 0x41, 0x00}, false}, // no mark
        {{0xFF, 0xFE, 0x31}, true},                    // mark and an odd byte: empty table
        {{0xFF, 0xFE, 0x31, 0x00, 0x09, 0x00, 0x41, 0x00, 0x42}, true}, // odd byte dropped
    };
    for (const auto& r : rows) {
        clMsgObject table;
        EXPECT_EQ(LoadMessageTable(table, ByteView(r.bytes.data(), r.bytes.size())), r.loads)
            << r.bytes.size();
    }
    clMsgObject table;
    const std::vector<std::uint8_t> odd = rows[6].bytes;
    ASSERT_TRUE(LoadMessageTable(table, ByteView(odd.data(), odd.size())));
    EXPECT_EQ(std::u16string(table.GetText(1)), u"A");

    // Without English the first table loaded is the default.
    FakeResources res;
    res.byName["MSG_JPN"] = Resource(u"1\tJ\r\n");
    res.byName["MSG_KOR"] = Resource(u"1\tK\r\n2\tK2\r\n");
    res.byName["MSG_ENG"] = {0xFF, 0xFE};
    clLanguageRegistry reg;
    ASSERT_TRUE(reg.Load(res.Finder(), u"KOR", 1033));
    EXPECT_STREQ(reg.DefaultCode(), "JPN");
    EXPECT_EQ(reg.Text(1), u"K");
    ASSERT_TRUE(reg.Load(res.Finder(), std::nullopt, 1033));
    EXPECT_STREQ(reg.CurrentCode(), "JPN");
    EXPECT_FALSE(reg.Text(2));

    // No table at all: every lookup is none and the fixed English fallbacks remain.
    FakeResources none;
    ASSERT_TRUE(reg.Load(none.Finder(), u"KOR", 1042));
    EXPECT_EQ(reg.TableCount(), 0u);
    EXPECT_STREQ(reg.CurrentCode(), "");
    EXPECT_FALSE(reg.Text(20004));
    EXPECT_EQ(reg.Format(21012, {3}), u"");
}

// The tables the programs ship, through the same loader the program uses.
TEST(LanguageTables, ShippedTablesLoadInEveryLanguage) {
    const TableFinder real = [](const char* name, ByteView& bytes) {
        return FindRcData(name, bytes);
    };
    const char* shipped[] = {"ENG", "CHT", "CHS", "JPN", "KOR", "RUS"};
    clLanguageRegistry english;
    ASSERT_TRUE(english.Load(real, u"ENG", 1033));
    ASSERT_EQ(english.TableCount(), 6u);
    EXPECT_EQ(english.Text(20021), u"Memory allocation failed.");
    EXPECT_EQ(english.Text(21001), u"Drive Information");
    EXPECT_EQ(english.Format(21012, {2}), u"2 Devices");
    EXPECT_EQ(english.Format(20022, {"Tarvik", "Windows Vista"}),
              u"Tarvik does not support Windows Vista.");
    for (const char* code : shipped) {
        clLanguageRegistry reg;
        ASSERT_TRUE(reg.Load(real, Utf8ToUtf16(code), 1033));
        EXPECT_STREQ(reg.CurrentCode(), code);
        for (std::int32_t id : {20002, 20003, 20004, 20006, 20017, 20021, 21001, 21002, 21003,
                                21004, 21005, 21006, 21007, 21010, 21011}) {
            const auto text = reg.Text(id);
            ASSERT_TRUE(text) << code << " " << id;
            EXPECT_FALSE(text->empty()) << code << " " << id;
        }
        // Every formatted text of the shell formats in every language.
        EXPECT_NE(reg.Format(21012, {5}).find(u'5'), std::u16string::npos) << code;
        EXPECT_NE(reg.Format(20022, {"Tarvik", "X"}).find(u"Tarvik"), std::u16string::npos);
        if (std::string_view(code) != "ENG") {
            EXPECT_NE(reg.Text(21001), english.Text(21001)) << code << " is not translated";
        }
    }
}

} // namespace
} // namespace tvd
