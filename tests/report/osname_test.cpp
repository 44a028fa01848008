#include <gtest/gtest.h>

#include "foundation/envutil.h"
#include "report/osnameutil.h"

namespace tvd {
namespace {

TEST(OsDisplayName, Table) {
    using namespace oscode;
    using namespace osarch;
    const struct {
        std::uint32_t code, arch, build;
        const char* name;
    } cases[] = {
        {kWin95, kX86, 950, "Windows 95"},
        {kWinMe, kX86, 3000, "Windows ME"},
        {kWinXp, kX86, 2600, "Windows XP (32-bits)"},
        {kWin7, kX64, 7601, "Windows 7 (x64)"},
        {kServer2012R2, kIa64, 9600, "Windows Server 2012 R2 (ia64)"},
        {kWin81, kArm64, 9600, "Windows 8.1 (32-bits)"}, // arm64 is named on 10 and 11 only
        {kWin10, kX64, 10240, "Windows 10 (x64), version 1507"},
        {kWin10, kX64, 10586, "Windows 10 (x64), version 1511"},
        {kWin10, kX64, 14393, "Windows 10 (x64), version 1607"},
        {kWin10, kX64, 15063, "Windows 10 (x64), version 1703"},
        {kWin10, kX64, 16299, "Windows 10 (x64), version 1709"},
        {kWin10, kX64, 17134, "Windows 10 (x64), version 1803"},
        {kWin10, kX64, 17763, "Windows 10 (x64), version 1809"},
        {kWin10, kX64, 18362, "Windows 10 (x64), version 1903"},
        {kWin10, kX64, 18363, "Windows 10 (x64), version 1909"},
        {kWin10, kX64, 19041, "Windows 10 (x64), version 2004"},
        {kWin10, kX64, 19042, "Windows 10 (x64), version 20H2"},
        {kWin10, kX64, 19043, "Windows 10 (x64), version 21H1"},
        {kWin10, kX64, 19044, "Windows 10 (x64), version 21H2"},
        {kWin10, kX64, 19045, "Windows 10 (x64), version 22H2"},
        {kWin10, kX64, 19046, "Windows 10 (x64), Build 19046"},
        {kWin10, kX86, 19045, "Windows 10 (32-bits), version 22H2"},
        {kWin10, kArm64, 19045, "Windows 10 (arm64), version 22H2"},
        {kWin10, kX64, 22000, "Windows 11 (x64), version 21H2"},
        {kWin10, kX64, 22621, "Windows 11 (x64), version 22H2"},
        {kWin10, kX64, 22631, "Windows 11 (x64), Build 22631"},
        {kWin10, kX86, 22000, "Windows 11, version 21H2"},
        {kWin10Server, kX64, 17763, "Windows Server 2019 (x64)"},
        {kWin10Server, kX86, 14393, "Windows Server 2016 (32-bits)"},
        {kWin10Server, kX64, 18363, "Windows Server (x64), version 1909"},
        {kWin10Server, kIa64, 19042, "Windows Server (ia64), version 20H2"},
        {kWin10Server, kX64, 20348, "Windows Server 2022 (x64), version 21H2"},
        {kWin10Server, kX64, 25398, "Windows Server (x64), Build 25398"},
        {kWin10Server, kX64, 19045, "Windows Server (x64), Build 19045"},
        {kUnknown, kX64, 1, "This Windows version"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OsDisplayName(c.code, c.arch, c.build), c.name) << c.build;
}

TEST(LinuxOsName, FromOsRelease) {
    const auto f = ParseOsRelease("# comment\nNAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n"
                                  "PRETTY_NAME='Debian \\ GNU'\nBROKEN\n=x\nID=debian");
    EXPECT_EQ(f.at("NAME"), "Debian GNU/Linux");
    EXPECT_EQ(f.at("PRETTY_NAME"), "Debian \\ GNU");
    EXPECT_EQ(f.at("ID"), "debian");
    EXPECT_EQ(f.count(""), 0u);
    EXPECT_EQ(LinuxOsName(f.at("NAME"), f.at("VERSION_ID"), osarch::kX64),
              "Debian GNU/Linux 12 (x64)");
    EXPECT_EQ(LinuxOsName("", "", osarch::kArm64), "Linux (arm64)");
    EXPECT_EQ(LinuxOsName("Arch Linux", "", osarch::kOther), "Arch Linux");
}

} // namespace
} // namespace tvd
