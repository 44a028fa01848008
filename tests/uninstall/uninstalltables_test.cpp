#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "foundation/textconvutil.h"
#include "shell/formattext.h"
#include "uninstall/uninstallnames.h"

namespace tvd::uninstall {
namespace {

std::map<int, std::u16string> ReadTable(const std::string& code) {
    std::ifstream in(std::string(TVD_MSGTABLE_DIR) + "/uninstall/" + code + ".txt",
                     std::ios::binary);
    std::map<int, std::u16string> table;
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos) continue;
        table[std::stoi(line.substr(0, tab))] = Utf8ToUtf16(line.substr(tab + 1));
    }
    return table;
}

// Every text the uninstaller shows exists in every language and takes the product name where
// the English one does.
TEST(UninstallTablesTest, EveryLanguageHasEveryTextWithItsArguments) {
    struct Id {
        std::int32_t id;
        bool takesName;
    } ids[] = {{msg::kYes, false},
               {msg::kNo, false},
               {msg::kOk, false},
               {msg::kCancel, false},
               {msg::kMemoryAllocationFailed, false},
               {msg::kDone, false},
               {msg::kStartTitle, true},
               {msg::kStartQuestion, true},
               {msg::kProgressTitle, false},
               {msg::kFinalTitle, false},
               {msg::kMainProgramBusy, true}};
    for (const char* code : {"ENG", "CHS", "CHT", "JPN", "KOR", "RUS"}) {
        SCOPED_TRACE(code);
        const auto table = ReadTable(code);
        EXPECT_EQ(table.size(), std::size(ids));
        for (const Id& i : ids) {
            auto it = table.find(i.id);
            ASSERT_NE(it, table.end()) << i.id;
            if (i.takesName) {
                EXPECT_TRUE(FormatMatches(it->second, {kProductName})) << i.id;
                EXPECT_NE(FormatText(it->second, {kProductName}).find(u"Tarvik"),
                          std::u16string::npos);
            } else {
                EXPECT_TRUE(FormatMatches(it->second, {})) << i.id;
            }
        }
    }
    EXPECT_EQ(ReadTable("ENG").at(msg::kMainProgramBusy), u"%s is busy. Close it and try again.");
}

} // namespace
} // namespace tvd::uninstall
