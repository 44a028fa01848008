// Whole-file writing and its access lists, the admin-only folder and resource extraction under
// the real (Wine's) file system.
#include <windows.h>

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "foundation/fileutil.h"
#include "foundation/textconvutil.h"
#include "foundation/win32/winfileutil.h"
#include "foundation/win32/wintesthelp.h"
#include "foundation/winfolderutila.h"

namespace tvd {
namespace {

using wintest::AceInfo;
using wintest::DaclInfo;
using wintest::TempDir;

std::u16string U16(const std::wstring& s) {
    return std::u16string(s.begin(), s.end());
}
std::wstring Wide(const std::string& utf8) {
    const std::u16string w = Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}
ByteView Bytes(const std::string& s) {
    return ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

std::vector<AceInfo> EntriesFor(const DaclInfo& dacl, const wchar_t* sid) {
    std::vector<AceInfo> out;
    for (const AceInfo& ace : dacl.entries)
        if (ace.sid == sid) out.push_back(ace);
    return out;
}

// Explicit entries first, inherited ones after them.
bool ExplicitBeforeInherited(const DaclInfo& dacl) {
    bool seenInherited = false;
    for (const AceInfo& ace : dacl.entries) {
        const bool inherited = ace.flags & INHERITED_ACE;
        if (seenInherited && !inherited) return false;
        seenInherited = seenInherited || inherited;
    }
    return true;
}

constexpr BYTE kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

AceInfo Allow(const wchar_t* sid, ACCESS_MASK mask, BYTE flags = 0) {
    return {ACCESS_ALLOWED_ACE_TYPE, flags, mask, sid};
}
AceInfo Deny(const wchar_t* sid, ACCESS_MASK mask, BYTE flags = 0) {
    return {ACCESS_DENIED_ACE_TYPE, flags, mask, sid};
}
const wchar_t* const kSystem = wintest::kSystemSid;
const wchar_t* const kAdmins = wintest::kAdminsSid;
const wchar_t* const kUsers = wintest::kUsersSid;
const wchar_t* const kEveryone = wintest::kEveryoneSid;
const wchar_t* const kWineUser = L"S-1-5-21-0-0-0-1000";

TEST(WinFileAcl, WrittenFileRules) {
    const AceInfo usersGrant = Allow(kUsers, GENERIC_ALL);
    const AceInfo systemInherited = Allow(kSystem, FILE_ALL_ACCESS, INHERITED_ACE);
    const AceInfo adminsInherited = Allow(kAdmins, FILE_ALL_ACCESS, INHERITED_ACE);
    struct Row {
        const char* what;
        FileUse use;
        bool hasPrevious;
        std::vector<AceInfo> previous, current, expected;
    };
    const Row rows[] = {
        {"replaced data file: Users entries of the old list give way to the one grant",
         FileUse::kData,
         true,
         {Deny(kUsers, FILE_WRITE_DATA), Allow(kEveryone, FILE_GENERIC_READ),
          Allow(kUsers, FILE_GENERIC_READ), Allow(kUsers, FILE_ALL_ACCESS, INHERITED_ACE)},
         {systemInherited, adminsInherited},
         {Allow(kEveryone, FILE_GENERIC_READ), usersGrant, systemInherited, adminsInherited}},
        {"new data file: its own explicit entries stay first",
         FileUse::kData,
         false,
         {},
         {Allow(kEveryone, FILE_GENERIC_READ), Allow(kUsers, FILE_GENERIC_READ), systemInherited},
         {Allow(kEveryone, FILE_GENERIC_READ), usersGrant, systemInherited}},
        {"data file with nothing else", FileUse::kData, true, {}, {}, {usersGrant}},
        {"executable: only what the admin-only folder passes on",
         FileUse::kExecutable,
         true,
         {Allow(kUsers, FILE_ALL_ACCESS), Allow(kEveryone, FILE_GENERIC_WRITE)},
         {Allow(kUsers, FILE_ALL_ACCESS), systemInherited, adminsInherited},
         {systemInherited, adminsInherited}},
        {"executable where nothing is inherited",
         FileUse::kExecutable,
         false,
         {},
         {Allow(kEveryone, FILE_ALL_ACCESS), Allow(kUsers, FILE_ALL_ACCESS)},
         {Allow(kSystem, FILE_ALL_ACCESS), Allow(kAdmins, FILE_ALL_ACCESS)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<DWORD> previous = wintest::MakeAcl(row.previous);
        std::vector<DWORD> current = wintest::MakeAcl(row.current);
        ASSERT_FALSE(previous.empty() || current.empty());
        std::vector<DWORD> composed;
        ASSERT_EQ(win::ComposeWrittenFileAcl(
                      row.hasPrevious ? reinterpret_cast<ACL*>(previous.data()) : nullptr,
                      reinterpret_cast<ACL*>(current.data()), row.use, composed),
                  0u);
        ASSERT_TRUE(IsValidAcl(reinterpret_cast<ACL*>(composed.data())));
        EXPECT_EQ(wintest::DescribeAcl(reinterpret_cast<ACL*>(composed.data())).entries,
                  row.expected);
    }
}

TEST(WinFileAcl, AdminOnlyFolderRule) {
    const AceInfo system = Allow(kSystem, FILE_ALL_ACCESS, kInherit);
    const AceInfo admins = Allow(kAdmins, FILE_ALL_ACCESS, kInherit);
    struct Row {
        const char* what;
        const wchar_t* owner;
        bool isProtected;
        std::vector<AceInfo> entries;
        bool expected;
    };
    const Row rows[] = {
        {"as made", kAdmins, true, {system, admins}, true},
        {"owned by SYSTEM", kSystem, true, {admins, system}, true},
        {"generic full access",
         kAdmins,
         true,
         {Allow(kSystem, GENERIC_ALL, kInherit), Allow(kAdmins, GENERIC_ALL, kInherit)},
         true},
        {"owned by a user", kWineUser, true, {system, admins}, false},
        {"inherits from above", kAdmins, false, {system, admins}, false},
        {"Users may read",
         kAdmins,
         true,
         {system, admins, Allow(kUsers, FILE_GENERIC_READ)},
         false},
        {"Administrators missing", kAdmins, true, {system}, false},
        {"not passed on", kAdmins, true, {system, Allow(kAdmins, FILE_ALL_ACCESS)}, false},
        {"inherit only",
         kAdmins,
         true,
         {system, Allow(kAdmins, FILE_ALL_ACCESS, kInherit | INHERIT_ONLY_ACE)},
         false},
        {"Administrators read only",
         kAdmins,
         true,
         {system, Allow(kAdmins, FILE_GENERIC_READ, kInherit)},
         false},
        {"a deny entry", kAdmins, true, {Deny(kEveryone, DELETE), system, admins}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<DWORD> acl = wintest::MakeAcl(row.entries);
        PSID owner = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidW(row.owner, &owner));
        EXPECT_EQ(
            win::IsAdminOnlySecurity(owner, reinterpret_cast<ACL*>(acl.data()), row.isProtected),
            row.expected);
        EXPECT_FALSE(win::IsAdminOnlySecurity(owner, nullptr, row.isProtected)) << "null list";
        LocalFree(owner);
    }
    std::vector<DWORD> made;
    ASSERT_EQ(win::AdminOnlyAcl(made), 0u);
    EXPECT_EQ(wintest::DescribeAcl(reinterpret_cast<ACL*>(made.data())).entries,
              (std::vector<AceInfo>{system, admins}));
}

TEST(WinFiles, DataFileGrantsUsersFullAccess) {
    TempDir dir;
    const std::wstring path = dir / L"a\\b\\Config.ini"; // two folders to create
    const std::string content = "[Main]\r\nLanguage=ENU\r\n";
    ASSERT_EQ(WriteWholeFile(U16(path), Bytes(content)), 0u);
    EXPECT_EQ(wintest::ReadRawFile(path), content);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), DWORD(FILE_ATTRIBUTE_ARCHIVE));

    if (!wintest::KeepsAccessLists(dir.path())) GTEST_SKIP() << "files keep no access lists here";
    const DaclInfo dacl = wintest::ReadDacl(path);
    ASSERT_TRUE(dacl.ok);
    const auto users = EntriesFor(dacl, kUsers);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].type, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_TRUE(wintest::IsFullAccess(users[0].mask)) << std::hex << users[0].mask;
    EXPECT_FALSE(users[0].flags & INHERITED_ACE);
    EXPECT_TRUE(ExplicitBeforeInherited(dacl));
}

TEST(WinFiles, RewriteReplacesEarlierUsersEntriesAndKeepsTheOthers) {
    TempDir dir;
    if (!wintest::KeepsAccessLists(dir.path())) GTEST_SKIP() << "files keep no access lists here";
    const std::wstring path = dir / L"Drive.ini";
    ASSERT_EQ(WriteWholeFile(U16(path), Bytes("old")), 0u);
    // Someone narrowed the file: Users denied writing and granted reading only, Everyone reads.
    ASSERT_TRUE(wintest::SetExplicitEntries(path, {Deny(kUsers, FILE_WRITE_DATA),
                                                   Allow(kEveryone, FILE_GENERIC_READ),
                                                   Allow(kUsers, FILE_GENERIC_READ)}));
    ASSERT_EQ(WriteWholeFile(U16(path), Bytes("new")), 0u);
    EXPECT_EQ(wintest::ReadRawFile(path), "new");
    const DaclInfo dacl = wintest::ReadDacl(path);
    ASSERT_TRUE(dacl.ok);
    std::vector<AceInfo> explicitEntries;
    for (const AceInfo& ace : dacl.entries)
        if (!(ace.flags & INHERITED_ACE)) explicitEntries.push_back(ace);
    ASSERT_EQ(explicitEntries.size(), 2u);
    EXPECT_EQ(explicitEntries[0], Allow(kEveryone, FILE_GENERIC_READ));
    EXPECT_EQ(explicitEntries[1].sid, kUsers);
    EXPECT_EQ(explicitEntries[1].type, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_TRUE(wintest::IsFullAccess(explicitEntries[1].mask));
    EXPECT_EQ(EntriesFor(dacl, kUsers).size(), 1u);
    EXPECT_TRUE(ExplicitBeforeInherited(dacl));
}

TEST(WinFiles, OverwriteLeavesExactlyTheNewBytes) {
    TempDir dir;
    const std::wstring path = dir / L"data.bin";
    ASSERT_EQ(WriteWholeFile(U16(path), Bytes(std::string(5000, 'x'))), 0u);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    ASSERT_EQ(WriteWholeFile(Utf16ToUtf8(U16(path)), Bytes("abc")), 0u);
    EXPECT_EQ(wintest::ReadRawFile(path), "abc");
    EXPECT_EQ(GetFileAttributesW(path.c_str()), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(wintest::FolderEntries(dir.path()), std::vector<std::wstring>{L"data.bin"})
        << "no temporary file left behind";

    std::vector<std::uint8_t> read;
    ASSERT_EQ(ReadWholeFile(U16(path), read), 0u);
    EXPECT_EQ(std::string(read.begin(), read.end()), "abc");
}

TEST(WinFiles, FailedReplaceKeepsTheOldFile) {
    TempDir dir;
    const std::wstring path = dir / L"kept.ini";
    ASSERT_EQ(WriteWholeFile(U16(path), Bytes("old content")), 0u);
    // Held open without delete sharing: the file cannot be replaced.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const ErrorCode e = WriteWholeFile(U16(path), Bytes("new content"));
    CloseHandle(h);
    EXPECT_NE(e, 0u);
    EXPECT_EQ(wintest::ReadRawFile(path), "old content");
    EXPECT_EQ(wintest::FolderEntries(dir.path()), std::vector<std::wstring>{L"kept.ini"});
}

TEST(WinFiles, FileInTheWayOfAFolderGives80) {
    TempDir dir;
    ASSERT_TRUE(wintest::WriteRawFile(dir / L"blocker", "x"));
    for (const wchar_t* path : {L"blocker\\f.txt", L"blocker\\sub\\f.txt"}) {
        EXPECT_EQ(WriteWholeFile(U16(dir / path), Bytes("data")), ErrorCode(ERROR_FILE_EXISTS))
            << Utf16ToUtf8(U16(path));
    }
    EXPECT_EQ(wintest::ReadRawFile(dir / L"blocker"), "x");
}

TEST(WinFiles, ReadWholeFileRefusesWhatItCannotHold) {
    TempDir dir;
    std::vector<std::uint8_t> data{1};
    ASSERT_TRUE(wintest::WriteRawFile(dir / L"empty", ""));
    EXPECT_EQ(ReadWholeFile(U16(dir / L"empty"), data), ErrorCode(ERROR_HANDLE_EOF));
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(ReadWholeFile(U16(dir / L"missing"), data), ErrorCode(ERROR_FILE_NOT_FOUND));
    // Exclusive access elsewhere is a read failure, not an empty result.
    ASSERT_TRUE(wintest::WriteRawFile(dir / L"busy", "busy"));
    HANDLE h =
        CreateFileW((dir / L"busy").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadWholeFile(U16(dir / L"busy"), data), ErrorCode(ERROR_SHARING_VIOLATION));
    CloseHandle(h);
    ASSERT_EQ(ReadWholeFile(Utf16ToUtf8(U16(dir / L"busy")), data), 0u);
    EXPECT_EQ(std::string(data.begin(), data.end()), "busy");
}

TEST(WinFiles, DeleteFileForce) {
    TempDir dir;
    const std::wstring path = dir / L"ro.txt";
    ASSERT_TRUE(wintest::WriteRawFile(path, "x"));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(DeleteFileForce(U16(path)), 0u);
    EXPECT_FALSE(wintest::Exists(path));
    EXPECT_EQ(DeleteFileForce(U16(path)), 0u) << "a missing file counts as deleted";
    EXPECT_EQ(DeleteFileForce(Utf16ToUtf8(U16(dir / L"no\\such\\file"))), 0u);
    ASSERT_TRUE(CreateDirectoryW((dir / L"folder").c_str(), nullptr));
    EXPECT_NE(DeleteFileForce(U16(dir / L"folder")), 0u);
}

TEST(WinAdminFolder, IsWritableByAdministratorsAndSystemOnly) {
    std::string folder;
    ASSERT_EQ(AdminOnlyFolder(folder), 0u);
    std::string commonAppData;
    ASSERT_EQ(ShellFolderPath(csidl::kCommonAppData, commonAppData), 0u);
    EXPECT_EQ(folder, commonAppData + "\\Zolt\\VornaTarvikdorn\\bin");
    const DWORD attributes = GetFileAttributesW(Wide(folder).c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

    if (!wintest::KeepsAccessLists(Wide(folder))) GTEST_SKIP() << "no access lists kept here";
    const DaclInfo dacl = wintest::ReadDacl(Wide(folder));
    ASSERT_TRUE(dacl.ok);
    EXPECT_TRUE(dacl.isProtected) << "nothing inherited from the shared folder above";
    ASSERT_EQ(dacl.entries.size(), 2u);
    for (const AceInfo& ace : dacl.entries) {
        EXPECT_TRUE(ace.sid == kSystem || ace.sid == kAdmins) << Utf16ToUtf8(U16(ace.sid));
        EXPECT_EQ(ace.type, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_TRUE(wintest::IsFullAccess(ace.mask));
        EXPECT_EQ(ace.flags & kInherit, kInherit);
    }
    EXPECT_TRUE(dacl.owner == kAdmins || dacl.owner == kSystem);
}

TEST(WinAdminFolder, AnyOtherAccessListIsReplaced) {
    TempDir dir;
    if (!wintest::KeepsAccessLists(dir.path())) GTEST_SKIP() << "no access lists kept here";
    const std::wstring planted = dir / L"bin";
    ASSERT_TRUE(CreateDirectoryW(planted.c_str(), nullptr));
    ASSERT_TRUE(wintest::SetExplicitEntries(planted, {Allow(kUsers, FILE_ALL_ACCESS, kInherit)}));
    EXPECT_FALSE(win::IsAdminOnlyFolder(U16(planted)));
    ASSERT_EQ(win::SecureAdminOnlyFolder(U16(planted)), 0u);
    EXPECT_TRUE(win::IsAdminOnlyFolder(U16(planted)));
    EXPECT_TRUE(EntriesFor(wintest::ReadDacl(planted), kUsers).empty());
}

TEST(WinAdminFolder, ExecutablesOnlyThereAndWithoutUsersEntry) {
    std::string folder8;
    ASSERT_EQ(AdminOnlyFolder(folder8), 0u);
    const std::wstring folder = Wide(folder8);
    TempDir dir;
    const std::wstring name = L"tvdtest" + wintest::UniqueSuffix() + L".exe";
    // Outside the folder, next to it under a similar name, or out of it through "..".
    for (const std::wstring& refused :
         {dir / name, folder + L"x\\" + name, folder + L"\\..\\" + name}) {
        EXPECT_EQ(WriteWholeFile(U16(refused), Bytes("MZ"), FileUse::kExecutable),
                  ErrorCode(ERROR_ACCESS_DENIED))
            << Utf16ToUtf8(U16(refused));
        EXPECT_FALSE(wintest::Exists(refused));
    }

    const std::wstring inside = folder + L"\\" + name;
    ASSERT_EQ(WriteWholeFile(U16(inside), Bytes("MZ"), FileUse::kExecutable), 0u);
    EXPECT_EQ(wintest::ReadRawFile(inside), "MZ");
    const bool keeps = wintest::KeepsAccessLists(folder);
    const DaclInfo dacl = wintest::ReadDacl(inside);
    EXPECT_EQ(DeleteFileForce(U16(inside)), 0u);
    if (!keeps) GTEST_SKIP() << "no access lists kept here";
    ASSERT_TRUE(dacl.ok);
    EXPECT_TRUE(EntriesFor(dacl, kUsers).empty());
    ASSERT_FALSE(dacl.entries.empty());
    for (const AceInfo& ace : dacl.entries)
        EXPECT_TRUE(ace.sid == kSystem || ace.sid == kAdmins) << Utf16ToUtf8(U16(ace.sid));
}

// A module carrying a "BINRES" resource, made from a copy of a system module.
std::wstring ModuleWithResource(const TempDir& dir, WORD id, const std::string& bytes) {
    const std::wstring path = dir / L"withres.dll";
    if (!CopyFileW((wintest::SystemDirectory() + L"\\version.dll").c_str(), path.c_str(), FALSE))
        return {};
    HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
    if (!update) return {};
    const bool ok = UpdateResourceW(update, L"BINRES", MAKEINTRESOURCEW(id),
                                    MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                    const_cast<char*>(bytes.data()), DWORD(bytes.size()));
    return EndUpdateResourceW(update, !ok) && ok ? path : std::wstring();
}

TEST(WinResources, BinaryResourceLandsInTheAdminFolder) {
    TempDir dir;
    std::string payload = "MZ payload";
    payload += std::string(300, '\x90');
    const std::wstring module = ModuleWithResource(dir, 4711, payload);
    ASSERT_FALSE(module.empty());
    const std::string module8 = Utf16ToUtf8(U16(module));
    const std::string name = "tvdres" + Utf16ToUtf8(U16(wintest::UniqueSuffix())) + ".exe";

    std::string written;
    ASSERT_EQ(ExtractBinaryResource(module8.c_str(), 4711, name, written), 0u);
    std::string folder;
    ASSERT_EQ(AdminOnlyFolder(folder), 0u);
    EXPECT_EQ(written, folder + "\\" + name);
    EXPECT_EQ(wintest::ReadRawFile(Wide(written)), payload);
    EXPECT_EQ(DeleteFileForce(written), 0u);

    EXPECT_NE(ExtractBinaryResource(module8.c_str(), 4712, name, written), 0u);
    EXPECT_TRUE(written.empty());
    EXPECT_FALSE(wintest::Exists(Wide(folder + "\\" + name)));
    for (const char* bad : {"", "..", "..\\x.exe", "sub/x.exe", "C:x.exe"}) {
        EXPECT_EQ(ExtractBinaryResource(module8.c_str(), 4711, bad, written),
                  ErrorCode(ERROR_INVALID_PARAMETER))
            << bad;
    }
    // The test program itself carries no such resource.
    EXPECT_NE(ExtractBinaryResource(nullptr, 4711, name, written), 0u);
}

TEST(WinResources, FindRcDataOfTheProgram) {
    ByteView bytes;
    EXPECT_FALSE(FindRcData("TVDNOSUCHDATA", bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(FindRcData(nullptr, bytes));
}

} // namespace
} // namespace tvd
