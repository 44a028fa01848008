#include "foundation/regutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace tvd {
namespace {

constexpr RegRoot kHklm = RegRoot::kLocalMachine;
constexpr RegRoot kHkcr = RegRoot::kClassesRoot;
constexpr RegRoot kHkcu = RegRoot::kCurrentUser;

// A 32-bit process on 64-bit Windows: the default view is the 32-bit one, so the helpers that
// use the default view and those that use the 64-bit view see different keys.
class RegUtilTest : public ::testing::Test {
protected:
    MemoryRegistry reg{true};
    ScopedRegistryBackend use{&reg};

    std::uint32_t ReadDwordIn(RegView view, RegRoot root, const std::string& key,
                              const std::string& value, ErrorCode* error = nullptr) {
        RegKey k;
        std::uint32_t n = 0;
        ErrorCode e = RegOpenKey(root, key, view, k);
        if (e == err::kSuccess) e = RegReadDword(k, value, n);
        if (error) *error = e;
        return n;
    }
    bool HasValue(RegView view, RegRoot root, const std::string& key, const std::string& value) {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        return reg.QueryValue(root, key, value, view, type, data) == err::kSuccess;
    }
};

TEST_F(RegUtilTest, ThirtyTwoBitViewIsRedirected) {
    struct Row {
        RegRoot root;
        const char* written; // through the 32-bit (default) view
        const char* seen64;  // where the 64-bit view finds it
        const char* notSeen64;
    } rows[] = {
        {kHklm, "Software\\Vorna\\A", "SOFTWARE\\WOW6432Node\\Vorna\\A", "Software\\Vorna\\A"},
        {kHklm, "SOFTWARE\\Wow6432Node\\Vorna\\B", "software\\wow6432node\\vorna\\b",
         "Software\\Vorna\\B"},
        {kHkcr, "CLSID\\{X}", "Wow6432Node\\CLSID\\{X}", "CLSID\\{X}"},
        {kHklm, "SYSTEM\\CurrentControlSet\\Vorna", "System\\CurrentControlSet\\Vorna", nullptr},
        {kHkcu, "Software\\Vorna", "SOFTWARE\\VORNA", nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.written);
        ASSERT_EQ(RegWriteDwordAt(r.root, r.written, "Value", 42), err::kSuccess);
        EXPECT_EQ(ReadDwordIn(RegView::k64, r.root, r.seen64, "VALUE"), 42u);
        EXPECT_EQ(ReadDwordIn(RegView::k32, r.root, r.written, "value"), 42u);
        if (r.notSeen64) {
            ErrorCode e = 0;
            ReadDwordIn(RegView::k64, r.root, r.notSeen64, "Value", &e);
            EXPECT_EQ(e, err::kFileNotFound);
        }
    }
    // The 64-bit writers reach the 64-bit keys.
    ASSERT_EQ(RegWriteDwordAt64(kHklm, "Software\\Vorna\\A", "Value", 7), err::kSuccess);
    EXPECT_EQ(ReadDwordIn(RegView::k64, kHklm, "Software\\Vorna\\A", "Value"), 7u);
    EXPECT_EQ(ReadDwordIn(RegView::kDefault, kHklm, "Software\\Vorna\\A", "Value"), 42u);

    std::vector<std::string> names;
    ASSERT_EQ(reg.EnumSubKeys(kHklm, "Software", RegView::k32, names), err::kSuccess);
    EXPECT_EQ(names, std::vector<std::string>{"Vorna"});
    ASSERT_EQ(reg.EnumSubKeys(kHklm, "SOFTWARE", RegView::k64, names), err::kSuccess);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Vorna", "WOW6432Node"}));
}

TEST_F(RegUtilTest, UnchangedDwordIsNotWritten) {
    RegKey key;
    ASSERT_EQ(RegOpenOrCreate(kHklm, "Software\\Vorna", key), err::kSuccess);
    ASSERT_EQ(RegWriteDword(key, "Count", 5), err::kSuccess);
    const auto before = reg.WriteCount();
    EXPECT_EQ(RegWriteDword(key, "Count", 5), err::kSuccess);
    EXPECT_EQ(RegWriteDwordAt(kHklm, "Software\\Vorna", "count", 5), err::kSuccess);
    EXPECT_EQ(reg.WriteCount(), before);
    EXPECT_EQ(RegWriteDword(key, "Count", 6), err::kSuccess);
    EXPECT_EQ(reg.WriteCount(), before + 1);

    // A value of another type holding the same bytes is still rewritten as a DWORD.
    const std::uint8_t five[4] = {5, 0, 0, 0};
    ASSERT_EQ(RegWriteBinary(kHklm, "Software\\Vorna", "Other", five), err::kSuccess);
    EXPECT_EQ(RegWriteDword(key, "Other", 5), err::kSuccess);
    std::uint32_t n = 0;
    EXPECT_EQ(RegReadDword(key, "Other", n), err::kSuccess);
    EXPECT_EQ(n, 5u);

    EXPECT_EQ(RegWriteDword(RegKey{}, "Count", 1), err::kInvalidHandle); // never opened
}

TEST_F(RegUtilTest, TypesAreChecked) {
    const std::string k = "Software\\Vorna\\Types";
    ASSERT_EQ(RegWriteString(kHklm, k, "Sz", "text"), err::kSuccess);
    ASSERT_EQ(RegWriteString64(kHklm, k, "Sz", "text"), err::kSuccess);
    ASSERT_EQ(RegWriteDwordAt(kHklm, k, "Dword", 1), err::kSuccess);
    ASSERT_EQ(RegWriteDwordAt64(kHklm, k, "Dword", 1), err::kSuccess);
    ASSERT_EQ(RegWriteQword(kHklm, k, "Bin", 1), err::kSuccess);

    RegKey key;
    ASSERT_EQ(RegOpenKey(kHklm, k, RegView::kDefault, key), err::kSuccess);
    std::uint32_t n = 0;
    std::string text;
    std::u16string wide;
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(RegReadDword(key, "Sz", n), err::kBadFormat);
    EXPECT_EQ(RegReadDword(key, "Bin", n), err::kBadFormat);
    EXPECT_EQ(RegReadDword(key, "Missing", n), err::kFileNotFound);
    EXPECT_EQ(RegReadString64(kHklm, k, "Dword", text), err::kBadFormat);
    EXPECT_EQ(RegReadBinary(kHklm, k, "Sz", bytes), err::kBadFormat);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(RegReadWideString(kHklm, k, "Dword", wide), err::kBadFormat);
    EXPECT_EQ(RegReadQword(kHklm, k, "Dword"), 0u);
    EXPECT_EQ(RegReadString64(kHklm, "Software\\Nowhere", "Sz", text), err::kFileNotFound);
}

TEST_F(RegUtilTest, StringsAndBinaryRoundTrip) {
    const std::string k = "Software\\Vorna\\Text";
    ASSERT_EQ(RegWriteString64(kHklm, k, "Name",
                               "Gr\xC3\xBC\xC3\x9F"
                               "e \xF0\x9F\x98\x80"),
              err::kSuccess);
    std::string text;
    ASSERT_EQ(RegReadString64(kHklm, k, "name", text), err::kSuccess);
    EXPECT_EQ(text, "Gr\xC3\xBC\xC3\x9F"
                    "e \xF0\x9F\x98\x80");

    // Stored as the registry stores REG_SZ: UTF-16LE with its terminating NUL; null → empty.
    ASSERT_EQ(RegWriteString(kHklm, k, "", "Ab"), err::kSuccess);
    ASSERT_EQ(RegWriteString(kHklm, k, "Null", nullptr), err::kSuccess);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_EQ(reg.QueryValue(kHklm, k, "", RegView::kDefault, type, data), err::kSuccess);
    EXPECT_EQ(type, regtype::kSz);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{'A', 0, 'b', 0, 0, 0}));
    ASSERT_EQ(reg.QueryValue(kHklm, k, "null", RegView::kDefault, type, data), err::kSuccess);
    EXPECT_EQ(type, regtype::kSz);
    EXPECT_TRUE(data.empty());
    std::u16string wide;
    ASSERT_EQ(RegReadWideString(kHklm, k, "", wide), err::kSuccess);
    EXPECT_EQ(wide, u"Ab");

    // A value written without its terminator reads the same.
    const std::uint8_t bare[] = {'H', 0, 'i', 0};
    ASSERT_EQ(reg.SetValue(kHklm, k, "Bare", RegView::kDefault, regtype::kSz, bare), err::kSuccess);
    ASSERT_EQ(RegReadWideString(kHklm, k, "Bare", wide), err::kSuccess);
    EXPECT_EQ(wide, u"Hi");

    ASSERT_EQ(RegWriteQword(kHklm, k, "Q", 0x0102030405060708ull), err::kSuccess);
    EXPECT_EQ(RegReadQword(kHklm, k, "Q"), 0x0102030405060708ull);
    const std::uint8_t four[] = {1, 2, 3, 4};
    ASSERT_EQ(RegWriteBinary(kHklm, k, "Four", four), err::kSuccess);
    EXPECT_EQ(RegReadQword(kHklm, k, "Four"), 0u);
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(RegReadBinary(kHklm, k, "FOUR", bytes), err::kSuccess);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST_F(RegUtilTest, DeleteValueInBothViews) {
    const std::string k = "Software\\Vorna\\Run";
    struct Row {
        const char* name;
        bool in64, in32;
        RegView failing; // kDefault: no fault
        ErrorCode result;
    } rows[] = {
        {"both have it", true, true, RegView::kDefault, err::kSuccess},
        {"only the 64-bit view", true, false, RegView::kDefault, err::kSuccess},
        {"only the 32-bit view", false, true, RegView::kDefault, err::kSuccess},
        {"neither", false, false, RegView::kDefault, err::kSuccess},
        {"64-bit view denied", true, true, RegView::k64, err::kAccessDenied},
        {"64-bit view denied, 32-bit lacks it", true, false, RegView::k64, err::kAccessDenied},
        {"32-bit view denied", true, true, RegView::k32, err::kAccessDenied},
        {"32-bit view denied, 64-bit lacks it", false, true, RegView::k32, err::kAccessDenied},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        MemoryRegistry fresh(true);
        ScopedRegistryBackend useFresh(&fresh);
        if (r.in64) {
            ASSERT_EQ(RegWriteDwordAt64(kHklm, k, "Tool", 1), err::kSuccess);
        }
        if (r.in32) {
            ASSERT_EQ(RegWriteDwordAt(kHklm, k, "Tool", 1), err::kSuccess);
        }
        if (r.failing != RegView::kDefault) fresh.FailWrites(r.failing, err::kAccessDenied);
        EXPECT_EQ(RegDeleteValueBoth(kHklm, k, "Tool"), r.result);
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        const bool left64 = fresh.QueryValue(kHklm, k, "Tool", RegView::k64, type, data) == 0;
        const bool left32 = fresh.QueryValue(kHklm, k, "Tool", RegView::k32, type, data) == 0;
        EXPECT_EQ(left64, r.in64 && r.failing == RegView::k64);
        EXPECT_EQ(left32, r.in32 && r.failing == RegView::k32);
    }
}

TEST_F(RegUtilTest, MemoryRegistryKeys) {
    // Creating a deep key creates its parents; a key with sub-keys cannot be deleted.
    RegKey key;
    ASSERT_EQ(RegOpenOrCreate64(kHklm, "Software\\Vorna\\Deep\\Er", key), err::kSuccess);
    EXPECT_EQ(key.view, RegView::k64);
    EXPECT_TRUE(RegKeyExists(kHklm, "software\\vorna\\deep", RegView::k64));
    EXPECT_FALSE(RegKeyExists(kHklm, "Software\\Vorna\\Deep", RegView::k32));
    EXPECT_EQ(reg.DeleteKey(kHklm, "Software\\Vorna\\Deep", RegView::k64), err::kAccessDenied);
    EXPECT_EQ(reg.DeleteKey(kHklm, "Software\\Vorna\\Deep\\Er", RegView::k64), err::kSuccess);
    EXPECT_EQ(reg.DeleteKey(kHklm, "Software\\Vorna\\Deep", RegView::k64), err::kSuccess);
    EXPECT_EQ(reg.DeleteKey(kHklm, "Software\\Vorna\\Deep", RegView::k64), err::kFileNotFound);

    // SetValue creates no key; an injected fault fails exactly the given number of writes.
    const std::uint8_t one[] = {1};
    EXPECT_EQ(reg.SetValue(kHkcu, "Nope", "V", RegView::k64, regtype::kBinary, one),
              err::kFileNotFound);
    reg.FailWrites(RegView::kDefault, err::kAccessDenied, 2);
    EXPECT_EQ(RegOpenOrCreate(kHkcu, "Software\\Vorna", key), err::kAccessDenied);
    EXPECT_FALSE(key.open);
    EXPECT_EQ(RegWriteDwordAt64(kHkcu, "Software\\Vorna", "V", 1), err::kSuccess);
    EXPECT_EQ(RegWriteDwordAt(kHkcu, "Software\\Vorna", "V", 2), err::kAccessDenied);
    EXPECT_EQ(RegWriteDwordAt(kHkcu, "Software\\Vorna", "V", 2), err::kSuccess);

    std::vector<std::string> names;
    ASSERT_EQ(reg.EnumValues(kHkcu, "Software\\Vorna", RegView::k32, names), err::kSuccess);
    EXPECT_EQ(names, std::vector<std::string>{"V"});
}

} // namespace
} // namespace tvd
