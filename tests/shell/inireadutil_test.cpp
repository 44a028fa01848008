#include "shell/inireadutil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tvd {
namespace {

class IniReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tvd_iniread_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Write(const char* name, const std::vector<std::uint8_t>& bytes) {
        const auto p = dir_ / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        const auto u8 = p.u8string();
        return std::string(u8.begin(), u8.end());
    }
    static std::vector<std::uint8_t> Narrow(const std::string& s) { return {s.begin(), s.end()}; }
    static std::vector<std::uint8_t> Wide(std::u16string_view s) {
        std::vector<std::uint8_t> out = {0xFF, 0xFE};
        for (char16_t c : s) {
            out.push_back(std::uint8_t(c & 0xFF));
            out.push_back(std::uint8_t(c >> 8));
        }
        return out;
    }

    std::filesystem::path dir_;
};

TEST_F(IniReadTest, IntegersAndTheirFallback) {
    const std::string good = Write("disk.ini", Narrow("[Smart]\r\nHealthWarning = 85\r\n"
                                                      "HealthBad=x\r\n"));
    EXPECT_EQ(IniReadInt(good, "Smart", "HealthWarning", -1), 85);
    EXPECT_EQ(IniReadInt(good, "smart", "healthwarning", -1), 85);
    EXPECT_EQ(IniReadInt(good, "Smart", "HealthBad", -1), 0); // present, not a number
    EXPECT_EQ(IniReadInt(good, "Smart", "TemperatureWarning", 60), 60);
    EXPECT_EQ(IniReadInt(good, "Other", "HealthWarning", 7), 7);
    EXPECT_EQ(IniReadInt((dir_ / "missing.ini").string(), "Smart", "HealthWarning", 7), 7);
    EXPECT_EQ(IniReadInt("", "Smart", "HealthWarning", 7), 7);
    EXPECT_EQ(IniReadInt(good, nullptr, "HealthWarning", 7), 7);
    EXPECT_EQ(IniReadInt(dir_.string(), "Smart", "HealthWarning", 7), 7); // a folder
}

TEST_F(IniReadTest, WideStringsNeedTheMarkAndStayUnderTheCap) {
    const std::string good = Write("Config.ini", Wide(u"[UI]\r\nLang=KOR\r\n"));
    EXPECT_EQ(IniReadWideString(good, u"UI", u"Lang"), u"KOR");
    EXPECT_EQ(IniReadWideString(good, u"ui", u"LANG"), u"KOR");
    EXPECT_FALSE(IniReadWideString(good, u"UI", u"Other"));

    const std::string noMark = Write("nomark.ini", Narrow("[UI]\r\nLang=KOR\r\n"));
    EXPECT_FALSE(IniReadWideString(noMark, u"UI", u"Lang"));

    // At the cap the file is read; one byte above it counts as missing.
    std::u16string text = u"[UI]\r\nLang=JPN\r\n;";
    std::vector<std::uint8_t> atCap = Wide(text);
    atCap.resize(kIniFileCap, 0x20);
    const std::string capped = Write("atcap.ini", atCap);
    EXPECT_EQ(IniReadWideString(capped, u"UI", u"Lang"), u"JPN");
    atCap.push_back(0x20);
    const std::string over = Write("over.ini", atCap);
    EXPECT_FALSE(IniReadWideString(over, u"UI", u"Lang"));
    EXPECT_FALSE(ReadIniFileBytes(over));
    ASSERT_TRUE(ReadIniFileBytes(capped));
    EXPECT_EQ(ReadIniFileBytes(capped)->size(), kIniFileCap);
}

} // namespace
} // namespace tvd
