// The registry backend and the portable registry functions against the real (Wine's) registry,
// in both views, checked with the system's own reg.exe.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/regutil.h"
#include "foundation/textconvutil.h"
#include "foundation/win32/wintesthelp.h"

namespace tvd {
namespace {

constexpr bool k64BitProcess = sizeof(void*) == 8;

std::vector<std::uint8_t> Utf16Le(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// A key of its own under HKLM\Software (redirected for 32-bit programs), removed in both views.
class RealRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring name = L"TvdTest" + wintest::UniqueSuffix();
        key_ = "Software\\" + Utf16ToUtf8(std::u16string(name.begin(), name.end()));
        regPath_ = L"HKLM\\Software\\" + name;
    }
    void TearDown() override {
        for (RegView view : {RegView::k64, RegView::k32})
            DeleteTree(key_, view);
    }
    void DeleteTree(const std::string& key, RegView view) {
        std::vector<std::string> subKeys;
        if (reg().EnumSubKeys(kRoot, key, view, subKeys)) return;
        for (const std::string& sub : subKeys)
            DeleteTree(key + "\\" + sub, view);
        reg().DeleteKey(kRoot, key, view);
    }
    // reg.exe's view of a value: its data text, or empty when the view does not have it.
    std::string RegExeQuery(const std::wstring& value, const wchar_t* view) {
        const auto run =
            wintest::RunProcess(L"reg.exe query \"" + regPath_ + L"\" /v " + value + L" " + view);
        EXPECT_TRUE(run.started);
        if (run.exitCode != 0) return {};
        const std::string marker = "REG_SZ";
        const auto at = run.output.find(marker);
        if (at == std::string::npos) return {};
        std::string data = run.output.substr(at + marker.size());
        data.erase(0, data.find_first_not_of(" \t"));
        return data.substr(0, data.find_first_of("\r\n"));
    }
    bool Has(const std::string& value, RegView view) {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        return reg().QueryValue(kRoot, key_, value, view, type, data) == 0;
    }
    static RegistryBackend& reg() { return PlatformRegistry(); }

    static constexpr RegRoot kRoot = RegRoot::kLocalMachine;
    std::string key_;
    std::wstring regPath_;
};

TEST_F(RealRegistry, ViewsHoldTheirOwnValuesAsRegExeSeesThem) {
    if (!k64BitProcess) GTEST_SKIP() << "the default view is the 64-bit one only in 64-bit code";
    ASSERT_EQ(RegWriteString(kRoot, key_, "Probe", "sixty-four"), 0u);
    ASSERT_EQ(reg().CreateKey(kRoot, key_, RegView::k32), 0u);
    ASSERT_EQ(
        reg().SetValue(kRoot, key_, "Probe", RegView::k32, regtype::kSz, Utf16Le(u"thirty-two")),
        0u);
    EXPECT_EQ(RegExeQuery(L"Probe", L"/reg:64"), "sixty-four");
    EXPECT_EQ(RegExeQuery(L"Probe", L"/reg:32"), "thirty-two");

    std::string text;
    ASSERT_EQ(RegReadString64(kRoot, key_, "Probe", text), 0u);
    EXPECT_EQ(text, "sixty-four");
    std::u16string wide;
    ASSERT_EQ(RegReadWideString(kRoot, key_, "Probe", wide), 0u);
    EXPECT_EQ(wide, u"sixty-four");

    // Written by reg.exe into the 32-bit view only: the backend finds it there, as stored.
    const auto run = wintest::RunProcess(
        L"reg.exe add \"" + regPath_ + L"\" /v FromRegExe /t REG_SZ /d Gr\u00FC\u00DF /reg:32 /f");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_EQ(reg().QueryValue(kRoot, key_, "FromRegExe", RegView::k32, type, data), 0u);
    EXPECT_EQ(type, regtype::kSz);
    EXPECT_EQ(data, Utf16Le(u"Gr\u00FC\u00DF")) << "REG_SZ passes as UTF-16LE with its NUL";
    EXPECT_EQ(reg().QueryValue(kRoot, key_, "FromRegExe", RegView::k64, type, data),
              ErrorCode(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(data.empty());
}

TEST_F(RealRegistry, UnchangedDwordIsNotWritten) {
    RegKey key;
    ASSERT_EQ(RegOpenOrCreate64(kRoot, key_, key), 0u);
    ASSERT_EQ(RegWriteDword(key, "Counter", 7), 0u);
    HKEY raw = nullptr;
    const std::u16string sub = Utf8ToUtf16(key_);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(sub.c_str()), 0,
                            KEY_QUERY_VALUE | KEY_WOW64_64KEY, &raw),
              ERROR_SUCCESS);
    auto lastWrite = [&] {
        FILETIME t{};
        RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, &t);
        return (std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    const std::uint64_t first = lastWrite();
    Sleep(30);
    ASSERT_EQ(RegWriteDword(key, "Counter", 7), 0u);
    EXPECT_EQ(lastWrite(), first) << "the same number must not be written again";
    Sleep(30);
    ASSERT_EQ(RegWriteDword(key, "Counter", 8), 0u);
    EXPECT_GT(lastWrite(), first);
    RegCloseKey(raw);
    std::uint32_t number = 0;
    EXPECT_EQ(RegReadDword(key, "Counter", number), 0u);
    EXPECT_EQ(number, 8u);
    ASSERT_EQ(RegWriteString64(kRoot, key_, "Text", "x"), 0u);
    EXPECT_EQ(RegReadDword(key, "Text", number), ErrorCode(ERROR_BAD_FORMAT));
}

TEST_F(RealRegistry, DeleteValueBothClearsTheWritersViews) {
    // Each row: where the value is before, and whether the 32-bit copy is this process's own
    // view (the default view of a 32-bit process) and so must go too.
    struct Row {
        const char* name;
        bool in64, inDefault, in32;
    };
    const Row rows[] = {
        {"Only64", true, false, false}, {"OnlyDefault", false, true, false},
        {"Both", true, true, false},    {"Nowhere", false, false, false},
        {"Only32", false, false, true},
    };
    ASSERT_EQ(reg().CreateKey(kRoot, key_, RegView::k32), 0u);
    for (const Row& row : rows) {
        if (row.in64) {
            ASSERT_EQ(RegWriteString64(kRoot, key_, row.name, "a"), 0u);
        }
        if (row.inDefault) {
            ASSERT_EQ(RegWriteString(kRoot, key_, row.name, "b"), 0u);
        }
        if (row.in32) {
            ASSERT_EQ(
                reg().SetValue(kRoot, key_, row.name, RegView::k32, regtype::kSz, Utf16Le(u"c")),
                0u);
        }
        EXPECT_EQ(RegDeleteValueBoth(kRoot, key_, row.name), 0u) << row.name;
        EXPECT_FALSE(Has(row.name, RegView::k64)) << row.name;
        EXPECT_FALSE(Has(row.name, RegView::kDefault)) << row.name;
        EXPECT_EQ(Has(row.name, RegView::k32), row.in32 && k64BitProcess) << row.name;
    }
    // A key that is not there at all.
    EXPECT_EQ(RegDeleteValueBoth(kRoot, key_ + "\\Missing", "x"), 0u);
}

TEST_F(RealRegistry, BackendKeysValuesAndNames) {
    const std::string sub = key_ + "\\Gr\xC3\xBC\xC3\x9F"
                                   "e";
    EXPECT_EQ(reg().OpenKey(kRoot, key_, RegView::kDefault), ErrorCode(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(reg().SetValue(kRoot, key_, "v", RegView::kDefault, regtype::kDword,
                             std::vector<std::uint8_t>(4)),
              ErrorCode(ERROR_FILE_NOT_FOUND))
        << "setting a value creates no key";
    ASSERT_EQ(reg().CreateKey(kRoot, sub, RegView::kDefault), 0u);
    ASSERT_EQ(reg().CreateKey(kRoot, key_ + "\\Second", RegView::kDefault), 0u);
    const std::vector<std::uint8_t> big(70000, 0x5A);
    ASSERT_EQ(
        reg().SetValue(kRoot, key_, "Big\xE2\x82\xAC", RegView::kDefault, regtype::kBinary, big),
        0u);
    ASSERT_EQ(reg().SetValue(kRoot, key_, "", RegView::kDefault, regtype::kSz, Utf16Le(u"dflt")),
              0u);

    std::vector<std::string> names;
    ASSERT_EQ(reg().EnumSubKeys(kRoot, key_, RegView::kDefault, names), 0u);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Gr\xC3\xBC\xC3\x9F"
                                               "e",
                                               "Second"}));
    ASSERT_EQ(reg().EnumValues(kRoot, key_, RegView::kDefault, names), 0u);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"", "Big\xE2\x82\xAC"}));

    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_EQ(reg().QueryValue(kRoot, key_, "Big\xE2\x82\xAC", RegView::kDefault, type, data), 0u);
    EXPECT_EQ(type, regtype::kBinary);
    EXPECT_EQ(data, big);
    EXPECT_EQ(reg().QueryValue(kRoot, key_, "missing", RegView::kDefault, type, data),
              ErrorCode(ERROR_FILE_NOT_FOUND));

    EXPECT_NE(reg().DeleteKey(kRoot, key_, RegView::kDefault), 0u) << "it still has sub-keys";
    EXPECT_EQ(reg().DeleteKey(kRoot, sub, RegView::kDefault), 0u);
    EXPECT_EQ(reg().OpenKey(kRoot, sub, RegView::kDefault), ErrorCode(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(reg().DeleteValue(kRoot, key_, "Big\xE2\x82\xAC", RegView::kDefault), 0u);
    EXPECT_EQ(reg().DeleteValue(kRoot, key_, "Big\xE2\x82\xAC", RegView::kDefault),
              ErrorCode(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(reg().OpenKey(static_cast<RegRoot>(0x12345), "", RegView::kDefault),
              ErrorCode(ERROR_INVALID_PARAMETER));
}

} // namespace
} // namespace tvd
