// The environment record, privileges and the SMBIOS table under the real (Wine's) system.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "foundation/envutil.h"
#include "foundation/regutil.h"
#include "foundation/smbiosutil.h"
#include "foundation/win32/winsmbios.h"
#include "foundation/win32/wintesthelp.h"

namespace tvd {
namespace {

struct LoaderVersion {
    DWORD major = 0, minor = 0, build = 0;
};

LoaderVersion QueryLoaderVersion() {
    using Fn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    LoaderVersion v;
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetNtVersionNumbers")));
    if (fn) fn(&v.major, &v.minor, &v.build);
    return v;
}

TEST(WinEnv, DetectOsTakesTheLoadersVersionNumbers) {
    const LoaderVersion loader = QueryLoaderVersion();
    ASSERT_NE(loader.major, 0u);
    OSVERSIONINFOEXW vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&vi)));
    const bool server = vi.wProductType != VER_NT_WORKSTATION;

    const EnvRecord& env = DetectOs();
    EXPECT_EQ(&DetectOs(), &env) << "computed once";
    EXPECT_EQ(env.major, loader.major);
    EXPECT_EQ(env.minor, loader.minor);
    EXPECT_EQ(env.build, loader.build & 0xFFFF) << "flag bits above the build number are dropped";
    EXPECT_EQ(env.osCode, OsCodeFromVersion(kPlatformNt, loader.major, loader.minor, server));
    EXPECT_NE(env.osCode, 0u);
    EXPECT_EQ(env.isServer, server);
    EXPECT_TRUE(IsNt());
    EXPECT_TRUE(IsVistaOrLater());
#if defined(_WIN64)
    EXPECT_EQ(env.arch, osarch::kX64);
    EXPECT_EQ(env.machine, "AMD64");
    EXPECT_TRUE(IsNative64());
#endif
    char version[40];
    std::snprintf(version, sizeof version, "%lu.%lu.%lu", loader.major, loader.minor,
                  loader.build & 0xFFFF);
    EXPECT_EQ(env.osVersion, version);
    EXPECT_EQ(env.osName.rfind("Windows", 0), 0u) << env.osName;
    EXPECT_GT(PhysicalMemoryBytes(), 16ull << 20);
}

// Not a test of its own: the version-setting test below runs a copy of this program with this
// test alone, and reads what it prints.
TEST(WinEnvProbe, PrintsDetectedEnvironment) {
    if (!std::getenv("TVD_ENV_PROBE"))
        GTEST_SKIP() << "run by WineVersionSetting.CodeFollowsTheReportedVersion";
    std::vector<std::uint8_t> smbios;
    const ErrorCode smbiosError = ReadSmbios(smbios);
    const EnvRecord& env = DetectOs();
    OSVERSIONINFOEXW vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&vi));
    std::printf("TVDPROBE code=%#x version=%u.%u server=%d smbios=%u size=%u (reported %lu.%lu "
                "product type %u)\n",
                unsigned(env.osCode), unsigned(env.major), unsigned(env.minor),
                env.isServer ? 1 : 0, unsigned(smbiosError), unsigned(smbios.size()),
                vi.dwMajorVersion, vi.dwMinorVersion, unsigned(vi.wProductType));
}

std::vector<std::uint8_t> BlobWithLength(std::uint32_t length, std::size_t actual) {
    std::vector<std::uint8_t> blob(actual, 0);
    blob[1] = 2;
    blob[2] = 8;
    StoreLe<std::uint32_t>(blob, 4, length);
    if (actual > 12) blob[8] = 127, blob[9] = 4; // end-of-table structure
    return blob;
}

struct Probe {
    unsigned code = 0, major = 0, minor = 0, smbiosError = 0, smbiosSize = 0;
    unsigned reportedMajor = 0, reportedMinor = 0, productType = 0;
    int server = -1;
};

// Wine reports the version configured per program; a copy of this program under a unique name
// gets its own setting, so nothing else is affected. Before Vista the SMBIOS table comes from
// the registry: a test copy is planted there when the machine has none.
class WineVersionSetting : public ::testing::Test {
protected:
    void SetUp() override {
        if (!wintest::RunningUnderWine()) GTEST_SKIP() << "needs Wine's per-program version";
        exeName_ = L"tvdprobe" + wintest::UniqueSuffix() + L".exe";
        exePath_ = dir_ / exeName_;
        ASSERT_TRUE(CopyFileW(wintest::SelfPath().c_str(), exePath_.c_str(), FALSE));
        appKey_ = L"Software\\Wine\\AppDefaults\\" + exeName_;
        HKEY existing = nullptr;
        plantSmbios_ =
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSmbiosKey, 0, KEY_READ, &existing) != ERROR_SUCCESS;
        if (existing) RegCloseKey(existing);
    }
    void TearDown() override {
        if (!appKey_.empty()) RegDeleteTreeW(HKEY_CURRENT_USER, appKey_.c_str());
        if (plantSmbios_)
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services\\mssmbios");
    }

    bool SetString(HKEY root, const std::wstring& key, const wchar_t* name, const void* data,
                   DWORD size, DWORD type) {
        HKEY k = nullptr;
        if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k,
                            nullptr) != ERROR_SUCCESS)
            return false;
        const bool ok = RegSetValueExW(k, name, 0, type, static_cast<const BYTE*>(data), size) == 0;
        RegCloseKey(k);
        return ok;
    }

    Probe RunWithVersion(const wchar_t* setting, std::string& line) {
        Probe p;
        SetString(HKEY_CURRENT_USER, appKey_, L"Version", setting,
                  DWORD((wcslen(setting) + 1) * sizeof(wchar_t)), REG_SZ);
        SetEnvironmentVariableW(L"TVD_ENV_PROBE", L"1");
        const auto run = wintest::RunProcess(L"\"" + exePath_ +
                                             L"\" --gtest_filter=WinEnvProbe.* --gtest_brief=1");
        SetEnvironmentVariableW(L"TVD_ENV_PROBE", nullptr);
        const auto at = run.output.find("TVDPROBE ");
        line = at == std::string::npos ? run.output
                                       : run.output.substr(at, run.output.find('\n', at) - at);
        if (at != std::string::npos)
            std::sscanf(line.c_str(),
                        "TVDPROBE code=%x version=%u.%u server=%d smbios=%u size=%u (reported "
                        "%u.%u product type %u)",
                        &p.code, &p.major, &p.minor, &p.server, &p.smbiosError, &p.smbiosSize,
                        &p.reportedMajor, &p.reportedMinor, &p.productType);
        return p;
    }

    static constexpr const wchar_t* kSmbiosKey =
        L"System\\CurrentControlSet\\Services\\mssmbios\\Data";
    wintest::TempDir dir_;
    std::wstring exeName_, exePath_, appKey_;
    bool plantSmbios_ = false;
};

TEST_F(WineVersionSetting, CodeFollowsTheReportedVersion) {
    const std::vector<std::uint8_t> goodBlob = BlobWithLength(8, 16);
    const std::vector<std::uint8_t> shortBlob = BlobWithLength(12, 16);
    struct Row {
        const wchar_t* setting;
        unsigned major, minor;
        const std::vector<std::uint8_t>* plantedSmbios; // pre-Vista rows only
        ErrorCode smbiosError;
    };
    const Row rows[] = {
        {L"win7", 6, 1, nullptr, 0},      {L"win2008r2", 6, 1, nullptr, 0},
        {L"win2008", 6, 0, nullptr, 0},   {L"win81", 6, 3, nullptr, 0},
        {L"winxp64", 5, 2, &goodBlob, 0}, {L"win2003", 5, 2, &shortBlob, ERROR_INVALID_DATA},
    };
    std::set<unsigned> codes;
    for (const Row& row : rows) {
        if (row.plantedSmbios && plantSmbios_) {
            ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kSmbiosKey, L"SMBiosData",
                                  row.plantedSmbios->data(), DWORD(row.plantedSmbios->size()),
                                  REG_BINARY));
        }
        std::string line;
        const Probe p = RunWithVersion(row.setting, line);
        SCOPED_TRACE(line);
        // Without a compatibility manifest the version information says 6.2 for 8.1; the
        // loader's numbers do not lie.
        ASSERT_EQ(p.reportedMajor, row.major);
        EXPECT_EQ(p.major, row.major);
        EXPECT_EQ(p.minor, row.minor);
        // Wine 8 swaps the product types of "win7" and "win2008r2"; the code follows what the
        // system reports.
        const bool server = p.productType != VER_NT_WORKSTATION;
        EXPECT_EQ(p.server, server ? 1 : 0);
        EXPECT_EQ(p.code, OsCodeFromVersion(kPlatformNt, row.major, row.minor, server));
        codes.insert(p.code);
        if (row.plantedSmbios && plantSmbios_) {
            EXPECT_EQ(p.smbiosError, row.smbiosError);
            if (!row.smbiosError) {
                EXPECT_EQ(p.smbiosSize, row.plantedSmbios->size());
            }
        }
    }
    // Every version family of the table above was seen, workstation and server alike.
    EXPECT_EQ(codes, (std::set<unsigned>{oscode::kWinXp, oscode::kServer2003, oscode::kServer2008,
                                         oscode::kWin7, oscode::kServer2008R2, oscode::kWin81}));
}

TEST(WinEnv, PrivilegesOfTheTokenGetEnabled) {
    ASSERT_TRUE(EnablePrivileges());
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> buf(size);
    ASSERT_TRUE(GetTokenInformation(token, TokenPrivileges, buf.data(), size, &size));
    CloseHandle(token);
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buf.data());
    // Whatever of the list the account holds is now enabled.
    int checked = 0;
    for (const wchar_t* name :
         {L"SeBackupPrivilege", L"SeRestorePrivilege", L"SeShutdownPrivilege", L"SeDebugPrivilege",
          L"SeManageVolumePrivilege", L"SeTakeOwnershipPrivilege"}) {
        LUID luid{};
        ASSERT_TRUE(LookupPrivilegeValueW(nullptr, name, &luid));
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const auto& p = privileges->Privileges[i];
            if (p.Luid.LowPart != luid.LowPart || p.Luid.HighPart != luid.HighPart) continue;
            EXPECT_TRUE(p.Attributes & SE_PRIVILEGE_ENABLED) << name;
            ++checked;
        }
    }
    EXPECT_GT(checked, 0) << "the token holds none of the privileges checked";
}

TEST(WinEnv, AdministratorAndWinPeTests) {
    // The volume of the Windows directory opens for writing exactly when this process may.
    std::wstring volume = L"\\\\.\\X:";
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    volume[4] = windows[0];
    HANDLE h = CreateFileW(volume.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool opens = h != INVALID_HANDLE_VALUE;
    if (opens) CloseHandle(h);
    EXPECT_EQ(ProbeAdmin(), opens);
    EXPECT_EQ(IsAdmin(), opens);

    if (!wintest::RunningUnderWine()) return; // the MiniNT key marks a whole system as WinPE
    const wchar_t* miniNt = L"SYSTEM\\CurrentControlSet\\Control\\MiniNT";
    ASSERT_FALSE(IsWinPe());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, miniNt, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_TRUE(IsWinPe());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, miniNt);
    EXPECT_FALSE(IsWinPe());
}

TEST(WinSmbios, FirmwareTableIsWholeAndWalkable) {
    std::vector<std::uint8_t> blob;
    const ErrorCode e = ReadSmbios(blob);
    if (e == ERROR_FILE_NOT_FOUND) GTEST_SKIP() << "no firmware table on this machine";
    ASSERT_EQ(e, 0u);
    EXPECT_TRUE(SmbiosBlobValid(blob));
    EXPECT_GE(FindSmbiosStructure(blob, kSmbiosHeaderSize, 1), 8);
}

TEST(WinSmbios, RegistryCopyIsAcceptedOnlyWhenItsLengthMatches) {
    const std::string key = "System\\CurrentControlSet\\Services\\mssmbios\\Data";
    struct Row {
        std::vector<std::uint8_t> data;
        std::uint32_t type;
        ErrorCode expected;
    };
    const Row rows[] = {
        {BlobWithLength(8, 16), regtype::kBinary, 0},
        {BlobWithLength(9, 16), regtype::kBinary, ERROR_INVALID_DATA},           // one byte short
        {BlobWithLength(7, 16), regtype::kBinary, ERROR_INVALID_DATA},           // one byte extra
        {BlobWithLength(0xFFFFFFF8u, 16), regtype::kBinary, ERROR_INVALID_DATA}, // wraps
        {BlobWithLength(0, 4), regtype::kBinary, ERROR_INVALID_DATA},            // no header
        {BlobWithLength(8, 16), regtype::kSz, ERROR_BAD_FORMAT},
    };
    for (const Row& row : rows) {
        MemoryRegistry registry;
        ASSERT_EQ(registry.CreateKey(RegRoot::kLocalMachine, key, RegView::kDefault), 0u);
        ASSERT_EQ(registry.SetValue(RegRoot::kLocalMachine, key, "SMBiosData", RegView::kDefault,
                                    row.type, row.data),
                  0u);
        std::vector<std::uint8_t> blob{1};
        EXPECT_EQ(win::ReadSmbiosFromRegistry(registry, blob), row.expected);
        EXPECT_EQ(blob, row.expected ? std::vector<std::uint8_t>{} : row.data);
    }
    MemoryRegistry empty;
    std::vector<std::uint8_t> blob;
    EXPECT_EQ(win::ReadSmbiosFromRegistry(empty, blob), ErrorCode(ERROR_FILE_NOT_FOUND));
}

} // namespace
} // namespace tvd
