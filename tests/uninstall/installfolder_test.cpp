#include "uninstall/winsetuppathutil.h"

#include <gtest/gtest.h>

#include "foundation/regutil.h"
#include "foundation/textconvutil.h"
#include "uninstall/uninstallnames.h"

namespace tvd::uninstall {
namespace {

const std::vector<std::u16string> kForbidden = {u"C:\\Windows", u"C:\\Windows\\System32",
                                                u"C:\\Program Files\\", u"C:\\Program Files (x86)"};

TEST(InstallFolderTest, UninstallStringTable) {
    struct Row {
        const char16_t* value;
        const char16_t* folder; // nullptr: refused
    } rows[] = {
        {u"\"C:\\Program Files\\VORNA\\Tarvik\\VORNA_TarvikdornUninstall.exe\" /x /y",
         u"C:\\Program Files\\VORNA\\Tarvik"},
        {u"  \"D:\\Apps\\VORNA Tarvik\\vorna_tarvikdorninstall.exe\"", nullptr},
        {u"\"D:\\Apps\\VORNA Tarvik\\vorna_tarvikdornuninstall.EXE\"", u"D:\\Apps\\VORNA Tarvik"},
        {u"C:\\Program Files\\VORNA\\Tarvik\\VORNA_TarvikdornUninstall.exe",
         u"C:\\Program Files\\VORNA\\Tarvik"},
        {u"C:\\Program Files\\VORNA\\Tarvik\\VORNA_TarvikdornUninstall.exe -silent",
         u"C:\\Program Files\\VORNA\\Tarvik"},
        {u"C:\\A b\\VORNA_TarvikdornUninstall.exe.old\\VORNA_TarvikdornUninstall.exe",
         u"C:\\A b\\VORNA_TarvikdornUninstall.exe.old"},
        {u"", nullptr},
        {u"   ", nullptr},
        {u"\"\"", nullptr},
        {u"\"C:\\Program Files\\VORNA\\Tarvik\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"VORNA_TarvikdornUninstall.exe", nullptr},
        {u"Tarvik\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"\\Tarvik\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"C:Tarvik\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"\\\\server\\share\\Tarvik\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"\\\\?\\C:\\Tarvik\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"\\\\.\\C:\\Tarvik\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"C:\\Program Files\\VORNA\\..\\..\\Windows\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"C:\\Program Files\\VORNA\\.\\Tarvik\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"C:\\Program Files\\\\Tarvik\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"C:\\Program Files\\Tarvik.\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"C:\\Program Files\\Tarvik \\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"C:/Program Files/Tarvik/VORNA_TarvikdornUninstall.exe", nullptr},
        {u"C:\\Tarvik\\VORNA_TarvikdornUninstall.exe:stream", nullptr},
        {u"C:\\Tar?ik\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"C:\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"c:\\windows\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"C:\\Windows\\System32\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"C:\\Program Files\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"C:\\PROGRAM FILES (X86)\\VORNA_TarvikdornUninstall.exe", nullptr},
        {u"C:\\Windows\\Temp\\VORNA_TarvikdornUninstall.exe", u"C:\\Windows\\Temp"},
        {u"\"C:\\Program Files\\VORNA\\Tarvik\\Tarvikdorn.exe\"", nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(Utf16ToUtf8(r.value));
        const auto folder = InstallFolderFromUninstallString(r.value, kForbidden);
        if (r.folder) {
            ASSERT_TRUE(folder.has_value());
            EXPECT_EQ(Utf16ToUtf8(*folder), Utf16ToUtf8(r.folder));
        } else {
            EXPECT_FALSE(folder.has_value()) << Utf16ToUtf8(folder.value_or(u""));
        }
    }
}

class ResolveInstallFolderTest : public ::testing::Test {
protected:
    MemoryRegistry reg;
    ScopedRegistryBackend use{&reg};
    void Set(RegView view, const std::u16string& text, std::uint32_t type = regtype::kSz) {
        ASSERT_EQ(reg.CreateKey(RegRoot::kLocalMachine, kUninstallKey, view), err::kSuccess);
        std::vector<std::uint8_t> bytes;
        for (char16_t c : text + u'\0') {
            bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        ASSERT_EQ(reg.SetValue(RegRoot::kLocalMachine, kUninstallKey, kUninstallStringValue, view,
                               type, ByteView(bytes)),
                  err::kSuccess);
    }
    std::string Resolve() {
        return Utf16ToUtf8(ResolveInstallFolder(u"C:\\Program Files\\VORNA\\Tarvik", kForbidden));
    }
};

TEST_F(ResolveInstallFolderTest, SixtyFourBitViewFirstThenThirtyTwoThenDefault) {
    EXPECT_EQ(Resolve(), "C:\\Program Files\\VORNA\\Tarvik");
    Set(RegView::k32, u"\"D:\\X32\\VORNA_TarvikdornUninstall.exe\"");
    EXPECT_EQ(Resolve(), "D:\\X32");
    Set(RegView::k64, u"\"D:\\X64\\VORNA_TarvikdornUninstall.exe\"");
    EXPECT_EQ(Resolve(), "D:\\X64");
    // A value that is no acceptable folder gives way to the other view, then the default.
    Set(RegView::k64, u"\\\\evil\\share\\VORNA_TarvikdornUninstall.exe");
    EXPECT_EQ(Resolve(), "D:\\X32");
    Set(RegView::k32, u"");
    EXPECT_EQ(Resolve(), "C:\\Program Files\\VORNA\\Tarvik");
    Set(RegView::k32, u"\"D:\\X32\\VORNA_TarvikdornUninstall.exe\"", regtype::kBinary);
    EXPECT_EQ(Resolve(), "C:\\Program Files\\VORNA\\Tarvik");
}

} // namespace
} // namespace tvd::uninstall
