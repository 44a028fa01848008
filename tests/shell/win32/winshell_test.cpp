// The window program's process helpers and its data folder under Wine.
#include <windows.h>

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "foundation/fileutil.h"
#include "foundation/textconvutil.h"
#include "foundation/win32/winfileutil.h"
#include "foundation/win32/wintesthelp.h"
#include "shell/appdatafolder.h"
#include "shell/processutil.h"

namespace tvd {
namespace {

using wintest::AceInfo;

std::string Utf8(const std::wstring& s) {
    return Utf16ToUtf8(std::u16string(s.begin(), s.end()));
}

TEST(WinShellProcess, RunAndWaitRunsSystemProgramsAndReturnsTheExitCode) {
    const std::string cmd = Utf8(wintest::SystemDirectory() + L"\\cmd.exe");
    std::uint32_t code = 99;
    ASSERT_EQ(RunAndWait(cmd, "/c exit 7", "", &code), err::kSuccess);
    EXPECT_EQ(code, 7u);
    ASSERT_EQ(RunAndWait(cmd, "/c exit 0", Utf8(wintest::SystemDirectory()), &code), err::kSuccess);
    EXPECT_EQ(code, 0u);
    // Without arguments the command line is the quoted program alone.
    ASSERT_EQ(RunAndWait(Utf8(wintest::SystemDirectory() + L"\\hostname.exe"), "", "", &code),
              err::kSuccess);
    EXPECT_EQ(code, 0u);
}

TEST(WinShellProcess, RunAndWaitRefusesProgramsOutsideTheTrustedFolders) {
    wintest::TempDir dir;
    const std::wstring copy = dir / L"cmd.exe";
    ASSERT_TRUE(
        CopyFileW((wintest::SystemDirectory() + L"\\cmd.exe").c_str(), copy.c_str(), FALSE));
    const std::string system = Utf8(wintest::SystemDirectory());
    std::uint32_t code = 99;
    for (const std::string& program :
         {Utf8(copy), std::string("cmd.exe"), system + "\\..\\system32\\cmd.exe",
          system + "\\.\\cmd.exe", system + "\\cmd.exe\" x"}) {
        EXPECT_EQ(RunAndWait(program, "/c exit 3", "", &code), err::kAccessDenied) << program;
        EXPECT_EQ(code, 0u);
    }
    EXPECT_EQ(RunAndWait("", "", "", nullptr), err::kInvalidParameter);
    // Allowed, but missing: the start fails and says so.
    EXPECT_NE(RunAndWait(system + "\\no-such-program.exe", "", "", nullptr), err::kSuccess);
}

TEST(WinShellProcess, OpenWebPageOpensNothingButWellFormedHttps) {
    for (const char* url : {"http://example.com/", "file:///C:/Windows/System32/calc.exe",
                            "https://example.com/a b", "C:\\Windows\\System32\\calc.exe", ""})
        EXPECT_EQ(OpenWebPage(url), err::kInvalidParameter) << url;
}

constexpr BYTE kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
constexpr BYTE kFilesOnly = OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE;
constexpr ACCESS_MASK kRead = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;

AceInfo Allow(const wchar_t* sid, ACCESS_MASK mask, BYTE flags = 0) {
    return {ACCESS_ALLOWED_ACE_TYPE, flags, mask, sid};
}

TEST(WinShellDataFolder, ParentFolderRule) {
    const wchar_t* kSystem = wintest::kSystemSid;
    const wchar_t* kAdmins = wintest::kAdminsSid;
    const wchar_t* kUsers = wintest::kUsersSid;
    const wchar_t* kUser = L"S-1-5-21-0-0-0-1000";
    const AceInfo system = Allow(kSystem, FILE_ALL_ACCESS, kInherit);
    const AceInfo admins = Allow(kAdmins, FILE_ALL_ACCESS, kInherit);
    const AceInfo usersRead = Allow(kUsers, kRead, kInherit);
    const AceInfo usersFiles = Allow(kUsers, FILE_ALL_ACCESS, kFilesOnly);
    struct Row {
        const char* what;
        const wchar_t* owner;
        bool isProtected;
        std::vector<AceInfo> entries;
        bool safe;
    } rows[] = {
        {"as made", kAdmins, true, {system, admins, usersRead, usersFiles}, true},
        {"the old Users grant",
         kAdmins,
         true,
         {system, admins, Allow(kUsers, GENERIC_ALL, kInherit)},
         false},
        {"Users full on the folder only",
         kAdmins,
         true,
         {system, admins, Allow(kUsers, FILE_ALL_ACCESS)},
         false},
        {"Users may delete children",
         kAdmins,
         true,
         {system, admins, Allow(kUsers, kRead | FILE_DELETE_CHILD)},
         false},
        {"Users may add folders",
         kAdmins,
         true,
         {system, admins, Allow(kUsers, kRead | FILE_ADD_SUBDIRECTORY)},
         false},
        {"Users full on subfolders",
         kAdmins,
         true,
         {system, admins, Allow(kUsers, FILE_ALL_ACCESS, CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE)},
         false},
        {"owned by a user", kUser, true, {system, admins, usersRead, usersFiles}, false},
        {"inherits from above", kAdmins, false, {system, admins, usersRead, usersFiles}, false},
        {"owned by SYSTEM", kSystem, true, {system, admins, usersFiles}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<DWORD> acl = wintest::MakeAcl(row.entries);
        PSID owner = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidW(row.owner, &owner));
        EXPECT_EQ(
            win::IsSafeParentSecurity(owner, reinterpret_cast<ACL*>(acl.data()), row.isProtected),
            row.safe);
        EXPECT_FALSE(win::IsSafeParentSecurity(owner, nullptr, row.isProtected));
        LocalFree(owner);
    }
    std::vector<DWORD> made;
    ASSERT_EQ(win::DataParentAcl(made), 0u);
    EXPECT_EQ(wintest::DescribeAcl(reinterpret_cast<ACL*>(made.data())).entries,
              (std::vector<AceInfo>{system, admins, usersRead, usersFiles}));
}

TEST(WinShellDataFolder, EnsureAppDataFolderSecuresBothLevels) {
    ASSERT_EQ(EnsureAppDataFolder(), err::kSuccess);
    std::string folder;
    ASSERT_EQ(AppDataFolder(folder), err::kSuccess);
    const std::u16string product = Utf8ToUtf16(folder);
    const std::u16string vendor = product.substr(0, product.rfind(u'\\'));
    EXPECT_EQ(vendor.substr(vendor.rfind(u'\\') + 1), u"Zolt");
    EXPECT_EQ(GetFileAttributesW(reinterpret_cast<const wchar_t*>(product.c_str())) &
                  FILE_ATTRIBUTE_DIRECTORY,
              DWORD(FILE_ATTRIBUTE_DIRECTORY));
    std::string config;
    ASSERT_EQ(ConfigIniPath(config), err::kSuccess);
    EXPECT_EQ(config, folder + "\\Config.ini");

    const std::wstring wproduct(product.begin(), product.end());
    if (!wintest::KeepsAccessLists(wproduct)) GTEST_SKIP() << "no access lists kept here";
    EXPECT_TRUE(win::IsSafeParentFolder(vendor));
    EXPECT_TRUE(win::IsSafeParentFolder(product));
    std::string bin;
    ASSERT_EQ(AdminOnlyFolder(bin), err::kSuccess);
    EXPECT_TRUE(win::IsAdminOnlyFolder(Utf8ToUtf16(bin)));
}

} // namespace
} // namespace tvd
