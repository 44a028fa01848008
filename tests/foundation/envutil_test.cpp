#include "foundation/envutil.h"

#include <gtest/gtest.h>

#include <string>

namespace tvd {
namespace {

TEST(EnvUtil, VersionCodes) {
    struct Row {
        std::uint32_t platform, major, minor;
        bool server;
        std::uint32_t code;
    } rows[] = {
        {kPlatformWin9x, 4, 0, false, oscode::kWin95},
        {kPlatformWin9x, 4, 10, false, oscode::kWin98},
        {kPlatformWin9x, 4, 90, false, oscode::kWinMe},
        {kPlatformNt, 3, 51, false, oscode::kNt4},
        {kPlatformNt, 4, 0, true, oscode::kNt4},
        {kPlatformNt, 5, 0, true, oscode::kWin2000},
        {kPlatformNt, 5, 1, false, oscode::kWinXp},
        {kPlatformNt, 5, 2, false, oscode::kWinXp}, // XP x64
        {kPlatformNt, 5, 2, true, oscode::kServer2003},
        {kPlatformNt, 6, 0, false, oscode::kVista},
        {kPlatformNt, 6, 0, true, oscode::kServer2008},
        {kPlatformNt, 6, 1, false, oscode::kWin7},
        {kPlatformNt, 6, 1, true, oscode::kServer2008R2},
        {kPlatformNt, 6, 2, false, oscode::kWin8},
        {kPlatformNt, 6, 2, true, oscode::kServer2012},
        {kPlatformNt, 6, 3, false, oscode::kWin81},
        {kPlatformNt, 6, 3, true, oscode::kServer2012R2},
        {kPlatformNt, 6, 4, false, oscode::kWin81}, // any later 6.x
        {kPlatformNt, 6, 4, true, oscode::kServer2012R2},
        {kPlatformNt, 10, 0, false, 0x1010D}, // Windows 10 and 11
        {kPlatformNt, 10, 0, true, 0x1010E},
        {kPlatformNt, 10, 1, true, 0x1010D}, // not 10.0: no server code
        {kPlatformNt, 11, 0, true, 0x1010D},
        {kPlatformNt, 7, 0, false, 0x1010D},
        {0, 10, 0, false, 0},
        {3, 10, 0, false, 0},
    };
    for (const auto& r : rows)
        EXPECT_EQ(OsCodeFromVersion(r.platform, r.major, r.minor, r.server), r.code)
            << r.platform << " " << r.major << "." << r.minor << (r.server ? " server" : "");
}

TEST(EnvUtil, ArchitectureAndDerivedTests) {
    struct Row {
        std::uint16_t pa;
        std::uint32_t major, minor, arch;
    } rows[] = {
        {0, 10, 0, osarch::kX86},    {9, 10, 0, osarch::kX64},   {6, 6, 1, osarch::kIa64},
        {12, 10, 0, osarch::kArm64}, {5, 10, 0, osarch::kOther}, // 32-bit ARM
        {9, 4, 0, osarch::kX86},     {6, 5, 0, osarch::kX86},    {9, 5, 2, osarch::kX64},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ArchFromProcessorArchitecture(r.pa, r.major, r.minor), r.arch)
            << r.pa << " on " << r.major << "." << r.minor;

    EXPECT_FALSE(IsNtCode(0));
    EXPECT_FALSE(IsNtCode(oscode::kWinMe));
    EXPECT_TRUE(IsNtCode(oscode::kNt4));
    EXPECT_FALSE(IsVistaOrLaterCode(oscode::kServer2003));
    EXPECT_TRUE(IsVistaOrLaterCode(oscode::kVista));
    EXPECT_TRUE(IsVistaOrLaterCode(oscode::kWin10Server));
    EXPECT_FALSE(IsVistaOrLaterCode(0x1010F));
    EXPECT_FALSE(IsWin10OrLaterCode(oscode::kServer2012R2));
    EXPECT_TRUE(IsWin10OrLaterCode(oscode::kWin10));
    for (std::uint32_t arch : {osarch::kX64, osarch::kIa64, osarch::kArm64})
        EXPECT_TRUE(IsNative64Arch(arch));
    for (std::uint32_t arch : {osarch::kOther, osarch::kX86})
        EXPECT_FALSE(IsNative64Arch(arch));
}

TEST(EnvUtil, ProductNames) {
    struct Row {
        std::uint32_t type;
        const char* name; // nullptr: none
    } rows[] = {
        {0, nullptr},
        {1, "Ultimate"},
        {30, "Medium Business Sever Management"},
        {36, "Stardard Server V"},
        {37, "Server Datacenter without Hyper - V(full installation)"},
        {48, "Professional"},
        {72, "Enterprise Evaluation"},
        {73, nullptr},
        {76, "Muitipoint Standard Server"},
        {78, nullptr},
        {101, "Home"},
        {102, nullptr},
        {112, "Processional Student"},
        {127, "Profrssional LTSB"},
        {130, "Enterprise LTSB N Evaluation"},
        {131, nullptr},
        {160, nullptr},
        {161, "Windows 10 Pro for Workstations"},
        {162, "Windows 10 Pro for Workstations N"},
        {163, nullptr},
    };
    for (const auto& r : rows) {
        const char* name = ProductName(r.type);
        if (r.name == nullptr)
            EXPECT_EQ(name, nullptr) << r.type;
        else
            EXPECT_EQ(std::string(name ? name : "(none)"), r.name) << r.type;
    }
}

} // namespace
} // namespace tvd
