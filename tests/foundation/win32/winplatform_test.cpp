// Error texts, hashing, module binding, GUIDs, text conversion and folder queries under the real
// (Wine's) system.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <thread>
#include <vector>

#include "foundation/bcryptutil.h"
#include "foundation/dllbindutil.h"
#include "foundation/envutil.h"
#include "foundation/errtextutil.h"
#include "foundation/guidutil.h"
#include "foundation/textconvutil.h"
#include "foundation/win32/winmodules.h"
#include "foundation/win32/wintesthelp.h"
#include "foundation/winfolderutila.h"
#include "foundation/winfolderutilw.h"

namespace tvd {
namespace {

using wintest::TempDir;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

ByteView Bytes(const std::string& s) {
    return ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

std::u16string U16(const std::wstring& s) {
    return std::u16string(s.begin(), s.end());
}

TEST(WinErrorText, SystemTextInTheAskedLanguageOrEnglish) {
    std::uint8_t charset = 0;
    const std::string text = ErrorText(2, 1033, &charset);
    EXPECT_NE(Lower(text).find("file"), std::string::npos) << text;
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '\r');
    EXPECT_EQ(charset, 1);
    EXPECT_EQ(Utf16ToUtf8(ErrorTextW(2, 1033)), text);

    // Maori has no system texts: US English is used, and its character set reported.
    charset = 0;
    EXPECT_EQ(ErrorText(2, 0x0481, &charset), text);
    EXPECT_EQ(charset, 1);
    EXPECT_FALSE(ErrorText(5).empty()); // neutral language
}

TEST(WinErrorText, NumberWithoutSystemTextGivesErrorN) {
    EXPECT_EQ(ErrorText(0x2468ACE, 1033), "Error 38177486");
    EXPECT_EQ(ErrorTextW(0x2468ACE), u"Error 38177486");
}

TEST(WinHash, KnownVectors) {
    struct Row {
        const char16_t* algorithm;
        std::string input;
        const char* digest;
    };
    const Row rows[] = {
        {u"SHA256", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {u"SHA256", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {u"SHA256", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {u"SHA1", "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {u"MD5", "abc", "900150983cd24fb0d6963f7d28e17f72"},
    };
    for (const Row& row : rows) {
        HashContext hash;
        ASSERT_EQ(hash.Open(row.algorithm), 0u);
        EXPECT_EQ(hash.DigestLength() * 2, std::string(row.digest).size());
        // Fed in two pieces: the state carries over between updates.
        const std::size_t half = row.input.size() / 2;
        ASSERT_EQ(hash.Update(Bytes(row.input.substr(0, half))), 0u);
        ASSERT_EQ(hash.Update(Bytes(row.input.substr(half))), 0u);
        std::vector<std::uint8_t> digest;
        ASSERT_EQ(hash.Finish(digest), 0u);
        EXPECT_EQ(Hex(digest), row.digest) << row.input;
    }
    std::vector<std::uint8_t> digest;
    ASSERT_EQ(Sha256(Bytes("abc"), digest), 0u);
    EXPECT_EQ(Hex(digest), rows[0].digest);
}

TEST(WinHash, UnknownAlgorithmAndMisuseFail) {
    HashContext hash;
    EXPECT_NE(hash.Open(u"NOSUCHHASH"), 0u);
    EXPECT_EQ(hash.DigestLength(), 0u);
    EXPECT_NE(hash.Update(Bytes("abc")), 0u);
    std::vector<std::uint8_t> digest{1, 2, 3};
    EXPECT_NE(hash.Finish(digest), 0u);
    EXPECT_TRUE(digest.empty());
    EXPECT_EQ(hash.Open(nullptr), ErrorCode(ERROR_INVALID_PARAMETER));

    // A finished context is closed until opened again.
    ASSERT_EQ(hash.Open(u"SHA256"), 0u);
    ASSERT_EQ(hash.Finish(digest), 0u);
    EXPECT_NE(hash.Finish(digest), 0u);
    ASSERT_EQ(hash.Open(u"SHA256"), 0u);
    ASSERT_EQ(hash.Update(Bytes("abc")), 0u);
    ASSERT_EQ(hash.Finish(digest), 0u);
    EXPECT_EQ(Hex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(WinModules, OptionalModulesAndBindingsResolve) {
    struct Row {
        BoundModule& (*module)();
        const char* name;
    };
    const Row rows[] = {
        {win::Advapi32Module, "advapi32.DLL"}, {win::BcryptModule, "Bcrypt.DLL"},
        {win::CfgMgr32Module, "CFGMGR32.DLL"}, {win::IphlpapiModule, "iphlpapi.DLL"},
        {win::Kernel32Module, "Kernel32.DLL"}, {win::NtDllModule, "NtDll.DLL"},
        {win::Shell32Module, "Shell32.DLL"},   {win::ShFolderModule, "SHFolder.DLL"},
        {win::WinHttpModule, "WinHttp.DLL"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.module().Name(), row.name);
        EXPECT_TRUE(row.module().Loaded()) << row.name;
    }
    // The names looked up must be the exported ones.
    EXPECT_NE(win::BoundRtlGetNtVersionNumbers(), nullptr);
    EXPECT_NE(win::BoundRtlNtStatusToDosError(), nullptr);
    EXPECT_NE(win::BoundGetNativeSystemInfo(), nullptr);
    EXPECT_NE(win::BoundGetProductInfo(), nullptr);
    EXPECT_NE(win::BoundGetSystemFirmwareTable(), nullptr);
    EXPECT_NE(win::BoundGetSystemWow64DirectoryW(), nullptr);
    EXPECT_NE(win::BoundRegDeleteKeyExW(), nullptr);
    EXPECT_NE(win::BoundSHCreateDirectoryExW(), nullptr);
}

TEST(WinModules, BindsFromTheSystemFolderOnly) {
    BoundModule kernel("Kernel32.DLL");
    ASSERT_TRUE(kernel.Loaded());
    EXPECT_EQ(kernel.Proc("GetNativeSystemInfo"),
              reinterpret_cast<void*>(
                  GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetNativeSystemInfo")));
    EXPECT_EQ(kernel.Proc("TvdNoSuchFunction"), nullptr);
    EXPECT_EQ(kernel.Proc(nullptr), nullptr);

    BoundModule missing("tvdnosuchmodule.dll");
    EXPECT_FALSE(missing.Loaded());
    EXPECT_EQ(missing.Proc("Anything"), nullptr);
    BoundModule byPath("C:\\windows\\system32\\kernel32.dll");
    EXPECT_FALSE(byPath.Loaded()) << "paths bypass the system-folder rule";

    // A real module planted in the current directory under a name the system folder lacks:
    // the search path would find it, the binding must not.
    TempDir dir;
    const std::wstring planted = dir / L"tvdplanted.dll";
    ASSERT_TRUE(
        CopyFileW((wintest::SystemDirectory() + L"\\version.dll").c_str(), planted.c_str(), FALSE));
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.path().c_str()));
    // The binding first: a module already loaded would be handed out by its name.
    BoundModule bound("tvdplanted.dll");
    const bool boundLoaded = bound.Loaded();
    HMODULE viaSearchPath = LoadLibraryW(L"tvdplanted.dll");
    SetCurrentDirectoryW(previous);
    ASSERT_NE(viaSearchPath, nullptr) << "the planted module must be loadable for this test";
    FreeLibrary(viaSearchPath);
    EXPECT_FALSE(boundLoaded);
}

TEST(WinModules, FirstUseFromManyThreadsBindsOnce) {
    BoundModule module("Kernel32.DLL");
    std::vector<void*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] { seen[i] = module.Proc("GetTickCount"); });
    for (auto& t : threads)
        t.join();
    ASSERT_NE(seen[0], nullptr);
    for (void* p : seen)
        EXPECT_EQ(p, seen[0]);
}

TEST(WinGuid, NewGuidsAreRandomAndDistinct) {
    Guid a, b;
    ASSERT_EQ(NewGuid(a), 0u);
    ASSERT_EQ(NewGuid(b), 0u);
    EXPECT_FALSE(a == b);
    EXPECT_FALSE(a == Guid{});
    EXPECT_EQ(a.data3 >> 12, 4) << "a random (version 4) GUID";
    const std::uint32_t t0 = TickCount();
    Sleep(100);
    const std::uint32_t elapsed = TickCount() - t0; // milliseconds, coarse-grained
    EXPECT_GE(elapsed, 50u);
    EXPECT_LT(elapsed, 10000u);
}

TEST(WinTextConv, CodePages) {
    struct Row {
        std::u16string text;
        std::uint32_t codePage;
        std::string bytes;
    };
    const Row rows[] = {
        {u"Gr\u00FC\u00DFe", 1252,
         "Gr\xFC\xDF"
         "e"},
        {u"Gr\u00FC\u00DFe", 437,
         "Gr\x81\xE1"
         "e"},
        {u"Gr\u00FC\u00DFe", kCodePageUtf8,
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {u"\u65E5\u672C", 932, "\x93\xFA\x96\x7B"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Utf16ToCodePage(row.text, row.codePage), row.bytes) << row.codePage;
        EXPECT_EQ(CodePageToUtf16(row.bytes, row.codePage), row.text) << row.codePage;
    }
    EXPECT_EQ(Utf16ToCodePage(u"a\u65E5b", 1252), "a?b"); // unmappable
    EXPECT_EQ(Utf16ToCodePage(u"", 1252), "");
    // The OEM and ANSI code pages are the system's.
    EXPECT_EQ(Utf16ToCodePage(u"\u00FC", kCodePageOem), Utf16ToCodePage(u"\u00FC", GetOEMCP()));
    EXPECT_EQ(Utf16ToCodePage(u"\u00FC", kCodePageAnsi), Utf16ToCodePage(u"\u00FC", GetACP()));
}

bool IsFolder(const std::u16string& path) {
    const DWORD a = GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str()));
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(WinFolders, QueriesNameExistingFolders) {
    std::u16string windows;
    ASSERT_EQ(WindowsDirectoryW(windows), 0u);
    EXPECT_TRUE(IsFolder(windows));
    std::string windows8;
    ASSERT_EQ(WindowsDirectory(windows8), 0u);
    EXPECT_EQ(Utf8ToUtf16(windows8), windows);
    EXPECT_EQ(WindowsDriveLetter(), std::toupper(static_cast<unsigned char>(windows8[0])));

    std::u16string native;
    ASSERT_EQ(NativeSystemDirectoryW(native), 0u);
    EXPECT_TRUE(IsFolder(native));
#if defined(_WIN64)
    EXPECT_EQ(native, U16(wintest::SystemDirectory()));
#else
    if (IsNative64()) {
        EXPECT_EQ(native, windows + u"\\Sysnative");
    }
#endif

    for (int id : {csidl::kWindows, csidl::kSystem, csidl::kCommonAppData, csidl::kAppData,
                   csidl::kLocalAppData, csidl::kProgramFiles, csidl::kPersonal}) {
        std::u16string path;
        ASSERT_EQ(ShellFolderPathW(id, path), 0u) << id;
        EXPECT_TRUE(IsFolder(path)) << id;
        std::string path8;
        EXPECT_EQ(ShellFolderPath(id, path8), 0u);
        EXPECT_EQ(Utf8ToUtf16(path8), path);
    }
    std::u16string viaShell;
    ASSERT_EQ(ShellFolderPathW(csidl::kWindows, viaShell), 0u);
    EXPECT_EQ(viaShell, windows);
    EXPECT_EQ(ShellFolderDriveLetter(csidl::kWindows), '\0') << "not a drive root";
    std::u16string none;
    EXPECT_NE(ShellFolderPathW(0x7F, none), 0u);
    EXPECT_TRUE(none.empty());
}

TEST(WinFolders, DisplayNameOfAPath) {
    TempDir dir;
    const std::wstring folder = dir / L"Anzeige\u00E4";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::string name;
    int icon = -1;
    ASSERT_EQ(ShellDisplayName(Utf16ToUtf8(U16(folder)), name, &icon), 0u);
    EXPECT_EQ(name, "Anzeige\xC3\xA4");
    EXPECT_GE(icon, 0);
    std::u16string wide;
    EXPECT_NE(ShellDisplayNameW(U16(dir / L"missing"), wide), 0u);
}

} // namespace
} // namespace tvd
