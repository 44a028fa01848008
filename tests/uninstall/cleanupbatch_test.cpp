#include "uninstall/cleanupbatch.h"

#include <gtest/gtest.h>

#include <map>

#include "foundation/textconvutil.h"

namespace tvd::uninstall {
namespace {

// An OEM code page like 850: ASCII, and 'é' as 0x82 and 'ü' as 0x81; nothing else.
std::optional<std::string> FakeOem(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) {
        if (c < 0x80)
            out += static_cast<char>(c);
        else if (c == u'é')
            out += '\x82';
        else if (c == u'ü')
            out += '\x81';
        else
            return std::nullopt;
    }
    return out;
}

BatchEncoding Encoding(std::map<std::u16string, std::u16string> shortNames = {}) {
    BatchEncoding enc;
    enc.toOem = FakeOem;
    enc.shortPath =
        [names = std::move(shortNames)](std::u16string_view p) -> std::optional<std::u16string> {
        auto it = names.find(std::u16string(p));
        if (it == names.end()) return std::nullopt;
        return it->second;
    };
    return enc;
}

TEST(CleanupBatchTest, PathsAsCmdReadsThem) {
    const std::u16string kBatchFolder = u"C:\\Windows\\Temp\\TarvikdornUninstall-1a2b";
    struct Row {
        const char* what;
        std::u16string install;
        std::map<std::u16string, std::u16string> shortNames;
        std::string installText; // as written, "" when left out
        bool uninstallerWritten;
    } rows[] = {
        {"spaces",
         u"C:\\Program Files\\VORNA\\Tarvik",
         {},
         "C:\\Program Files\\VORNA\\Tarvik",
         true},
        {"percent doubled", u"C:\\Apps\\50% off %PATH%", {}, "C:\\Apps\\50%% off %%PATH%%", true},
        {"ampersand, caret, bang stay inside quotes",
         u"C:\\A&B ^C !D!",
         {},
         "C:\\A&B ^C !D!",
         true},
        {"OEM spelling", u"C:\\Appé\\Tü", {}, "C:\\App\x82\\T\x81", true},
        {"no OEM spelling: short name",
         u"C:\\Apps\\中文",
         {{u"C:\\Apps\\中文", u"C:\\Apps\\3B7A~1"}},
         "C:\\Apps\\3B7A~1",
         true},
        {"short name with percent", u"C:\\中%", {{u"C:\\中%", u"C:\\%1~1"}}, "C:\\%%1~1", true},
        {"no OEM spelling, no short name: left in place", u"C:\\Apps\\中文", {}, "", false},
        {"short name without OEM spelling either",
         u"C:\\Apps\\中文",
         {{u"C:\\Apps\\中文", u"C:\\Apps\\中文~1"}},
         "",
         false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        CleanupBatchItems items;
        items.installFolder = r.install;
        items.uninstallerFile = r.install + u"\\VORNA_TarvikdornUninstall.exe";
        items.batchFolder = kBatchFolder;
        auto shortNames = r.shortNames;
        if (!r.shortNames.empty()) {
            const auto& [longForm, shortForm] = *r.shortNames.begin();
            shortNames[longForm + u"\\VORNA_TarvikdornUninstall.exe"] =
                shortForm + u"\\VORNA_~1.EXE";
        }
        const std::string text = BuildCleanupBatch(items, Encoding(shortNames));
        std::string expected;
        if (r.uninstallerWritten) {
            const std::string u = r.shortNames.empty()
                                      ? r.installText + "\\VORNA_TarvikdornUninstall.exe"
                                      : r.installText + "\\VORNA_~1.EXE";
            expected += "\"" + u + "\" -close\r\n";
            expected += "del /f /q \"" + u + "\"\r\n";
        }
        if (!r.installText.empty()) expected += "rd \"" + r.installText + "\"\r\n";
        expected += "cd /d \"C:\\Windows\\Temp\"\r\n";
        expected += "rd /s /q \"C:\\Windows\\Temp\\TarvikdornUninstall-1a2b\"\r\n";
        EXPECT_EQ(text, expected);
        // A stand-in character would be a wildcard to del.
        EXPECT_EQ(text.find('?'), std::string::npos);
    }
}

TEST(CleanupBatchTest, ControlCharactersAndQuotesAreNeverWritten) {
    const BatchEncoding enc = Encoding();
    EXPECT_FALSE(BatchPathText(u"C:\\a\"b", enc).has_value());
    EXPECT_FALSE(BatchPathText(u"C:\\a\r\nb", enc).has_value());
    EXPECT_FALSE(BatchPathText(u"", enc).has_value());
    EXPECT_FALSE(BatchPathText(u"C:\\x", BatchEncoding{}).has_value());
}

} // namespace
} // namespace tvd::uninstall
