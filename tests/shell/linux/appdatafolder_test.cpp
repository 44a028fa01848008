#include "shell/appdatafolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/langutil.h"
#include "foundation/linux/scopedenv.h"
#include "shell/inireadutil.h"
#include "shell/languagetables.h"

namespace tvd {
namespace {

class AppDataFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ =
            std::filesystem::temp_directory_path() / ("tvd_appdata_" + std::to_string(getpid()));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        env_.emplace("XDG_CONFIG_HOME", root_.c_str());
    }
    void TearDown() override {
        env_.reset();
        std::filesystem::remove_all(root_);
        LanguageRegistry().Clear();
    }
    void WriteConfig(std::u16string_view text, std::size_t padTo = 0) {
        std::string path;
        ASSERT_EQ(ConfigIniPath(path), err::kSuccess);
        std::vector<char> bytes = {char(0xFF), char(0xFE)};
        for (char16_t c : text) {
            bytes.push_back(char(c & 0xFF));
            bytes.push_back(char(c >> 8));
        }
        if (bytes.size() < padTo) bytes.resize(padTo, ' ');
        std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    }
    // The table a missing or unusable Lang leaves: the user's language when one ships.
    static std::string UserTable() {
        const std::string code = UserLangCode();
        for (const char* shipped : {"ENG", "CHT", "CHS", "JPN", "KOR", "RUS"})
            if (code == shipped) return code;
        return "ENG";
    }

    std::filesystem::path root_;
    std::optional<test::ScopedEnv> env_;
};

TEST_F(AppDataFolderTest, FolderAndConfigPathsAreCreatedWithoutGrants) {
    std::string folder, config;
    ASSERT_EQ(AppDataFolder(folder), err::kSuccess);
    EXPECT_EQ(folder, (root_ / "Tarvikdorn").string());
    ASSERT_EQ(ConfigIniPath(config), err::kSuccess);
    EXPECT_EQ(config, (root_ / "Tarvikdorn" / "Config.ini").string());
    ASSERT_EQ(EnsureAppDataFolder(), err::kSuccess);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(EnsureAppDataFolder(), err::kSuccess); // an existing folder is fine
    const auto perms = std::filesystem::status(folder).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::others_write, std::filesystem::perms::none);

    std::filesystem::remove_all(folder);
    std::ofstream(folder) << "a file in the way";
    EXPECT_NE(EnsureAppDataFolder(), err::kSuccess);
}

TEST_F(AppDataFolderTest, ConfigIniChoosesTheLanguage) {
    ASSERT_EQ(EnsureAppDataFolder(), err::kSuccess);
    struct Row {
        const char16_t* config;
        std::size_t padTo;
        std::string want;
    } rows[] = {
        {u"[UI]\r\nLang=KOR\r\n", 0, "KOR"},
        {u"[UI]\r\nLang=JPNX\r\n", 0, "JPN"},
        {u"[ui]\r\nlang=RUS\r\n", 0, "RUS"},
        {u"[UI]\r\nLang=kor\r\n", 0, "ENG"},
        {u"[UI]\r\nLang=EN\r\n", 0, "ENG"},
        {u"[UI]\r\nLang=\r\n", 0, UserTable()},
        {u"[UI]\r\nLang=KOR\r\n", kIniFileCap, "KOR"},
        {u"[UI]\r\nLang=KOR\r\n", kIniFileCap + 1, UserTable()}, // above the cap: missing
    };
    for (const auto& r : rows) {
        WriteConfig(r.config, r.padTo);
        ASSERT_TRUE(LoadLanguageTables());
        EXPECT_EQ(LanguageRegistry().CurrentCode(), r.want) << r.padTo;
    }
    std::string config;
    ASSERT_EQ(ConfigIniPath(config), err::kSuccess);
    std::filesystem::remove(config);
    ASSERT_TRUE(LoadLanguageTables());
    EXPECT_EQ(LanguageRegistry().CurrentCode(), UserTable());
    WriteConfig(u"[UI]\r\nLang=KOR\r\n");
    ASSERT_TRUE(LoadLanguageTables());
    EXPECT_EQ(UiCharset(), 129);
    EXPECT_EQ(UiFontName(), u"Segoe UI");
    EXPECT_EQ(UiLanguageId(), 1042);
    EXPECT_EQ(ErrorMessageText(20021), *MessageText(20021));
    EXPECT_NE(ErrorMessageText(20021), u"Memory allocation failed.");
}

TEST_F(AppDataFolderTest, ErrorTextsFallBackToFixedEnglish) {
    LanguageRegistry().Clear();
    EXPECT_EQ(ErrorMessageText(20021), u"Memory allocation failed.");
    EXPECT_EQ(ErrorMessageText(21001), u"An error occurred. The application will exit.");
    EXPECT_FALSE(MessageText(21001));
}

} // namespace
} // namespace tvd
