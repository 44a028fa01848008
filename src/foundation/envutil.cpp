// Version code rules and the product-name table: pure, shared by both platforms.
#include "foundation/envutil.h"

#include <array>
#include <utility>

namespace tvd {

std::uint32_t OsCodeFromVersion(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                                bool server) {
    if (platformId == kPlatformWin9x) {
        if (major != 4) return oscode::kUnknown;
        if (minor == 0) return oscode::kWin95;
        if (minor == 10) return oscode::kWin98;
        return oscode::kWinMe;
    }
    if (platformId != kPlatformNt) return oscode::kUnknown;
    if (major <= 4) return oscode::kNt4;
    if (major == 5) {
        if (minor == 0) return oscode::kWin2000;
        if (minor == 1) return oscode::kWinXp;
        return server ? oscode::kServer2003 : oscode::kWinXp;
    }
    if (major == 6) {
        switch (minor) {
        case 0:
            return server ? oscode::kServer2008 : oscode::kVista;
        case 1:
            return server ? oscode::kServer2008R2 : oscode::kWin7;
        case 2:
            return server ? oscode::kServer2012 : oscode::kWin8;
        default:
            return server ? oscode::kServer2012R2 : oscode::kWin81;
        }
    }
    if (major == 10 && minor == 0 && server) return oscode::kWin10Server;
    return oscode::kWin10;
}

std::uint32_t ArchFromProcessorArchitecture(std::uint16_t processorArchitecture,
                                            std::uint32_t major, std::uint32_t minor) {
    // NT 4 and 2000 predate the native-system query; whatever they report, treat them as x86.
    if (major == 4 || (major == 5 && minor == 0)) return osarch::kX86;
    switch (processorArchitecture) {
    case 0:
        return osarch::kX86;
    case 9:
        return osarch::kX64;
    case 6:
        return osarch::kIa64;
    case 12:
        return osarch::kArm64;
    default:
        return osarch::kOther;
    }
}

bool IsNtCode(std::uint32_t code) {
    return code != 0 && code != oscode::kWin95 && code != oscode::kWin98 && code != oscode::kWinMe;
}

bool IsVistaOrLaterCode(std::uint32_t code) {
    return code >= oscode::kVista && code <= oscode::kWin10Server;
}

bool IsWin10OrLaterCode(std::uint32_t code) {
    return code == oscode::kWin10 || code == oscode::kWin10Server;
}

bool IsNative64Arch(std::uint32_t arch) {
    return arch == osarch::kX64 || arch == osarch::kIa64 || arch == osarch::kArm64;
}

namespace {

// The names are shown in reports as they have always been written, misspellings included.
constexpr std::pair<std::uint32_t, const char*> kProductNames[] = {
    {1, "Ultimate"},
    {2, "Home Basic"},
    {3, "Home Premium"},
    {4, "Home Enterprise"},
    {5, "Home Basic N"},
    {6, "Business"},
    {7, "Standard Server"},
    {8, "Datacenter Server"},
    {9, "Small Business Server"},
    {10, "Enterprise Server"},
    {11, "Starter"},
    {12, "Datacenter Server Core"},
    {13, "Standard Server Core"},
    {14, "Enterprise Server Core"},
    {15, "Enterprise Server IA64"},
    {16, "Business N"},
    {17, "Web Server"},
    {18, "HPC Edition"},
    {19, "Home Server"},
    {20, "Storage Express Server"},
    {21, "Storage Standard Server"},
    {22, "Storage Workgroup Server"},
    {23, "Storage Enterprise Server"},
    {24, "Server for Small Business"},
    {25, "Small Business Server Premium"},
    {26, "Home Premium N"},
    {27, "Enterprise N"},
    {28, "Ultimate N"},
    {29, "Web Server Core"},
    {30, "Medium Business Sever Management"},
    {31, "Medium Business Sever Security"},
    {32, "Medium Business Sever Messaging"},
    {33, "Server Foundation"},
    {34, "Home Premium Server"},
    {35, "Server for Small Business V"},
    {36, "Stardard Server V"},
    {37, "Server Datacenter without Hyper - V(full installation)"},
    {38, "Enterprise Server V"},
    {39, "Server Datacenter without Hyper - V(core installation)"},
    {40, "Standard Server Core V"},
    {41, "Enterprise Server Core V"},
    {42, "HyperV"},
    {43, "Storage Express Server Core"},
    {44, "Storage Stardard Server Core"},
    {45, "Storage Workgroup Server Core"},
    {46, "Storage Enterprise Server Core"},
    {47, "Starter N"},
    {48, "Professional"},
    {49, "Professional N"},
    {50, "Small Business Server Server"},
    {51, "Server For SB Solutions"},
    {52, "Standard Server Solutions"},
    {53, "Standard Server Solutions Core"},
    {54, "Small Business Solution Server EM"},
    {55, "Server for Small Business Solutions EM"},
    {56, "Windows MultiPoint Server"},
    {57, "Solution Embedded Server Core"},
    {58, "Professional Embedded"},
    {59, "Essential Server Solution Management"},
    {60, "Essential Server Solution Additional"},
    {61, "Essential Server Solution Management SVC"},
    {62, "Essential Server Solution Additional SVC"},
    {63, "Small Business Server Premium Core"},
    {64, "Server Hyper Core V"},
    {65, "Embedded"},
    {66, "Starter E"},
    {67, "Home Basic E"},
    {68, "Home Premium E"},
    {69, "Professional E"},
    {70, "Enterprise E"},
    {71, "Ultimate E"},
    {72, "Enterprise Evaluation"},
    {76, "Muitipoint Standard Server"},
    {77, "Muitipoint Premium Server"},
    {79, "Standard Evaluation Server"},
    {80, "Datacenter Evaluation Server"},
    {84, "Enterprise N Evaluation"},
    {85, "Embedded Automotive"},
    {86, "Embedded Industry A"},
    {87, "Thin PC"},
    {88, "Embedded A"},
    {89, "Embedded Industry"},
    {90, "Embedded E"},
    {91, "Embedded Industry E"},
    {92, "Embedded Industry A E"},
    {95, "Storage Workgroup Evaluation Server"},
    {96, "Storage Standard Evaluation Server"},
    {97, "Core ARM"},
    {98, "Core N"},
    {99, "Home China"},
    {100, "Home Single Language"},
    {101, "Home"},
    {103, "Professional WMC"},
    {104, "Mobile Core"},
    {105, "Embedded Industry EVAL"},
    {106, "Embedded Industry E EVAL"},
    {107, "Embedded EVAL"},
    {108, "Embedded E EVAL"},
    {109, "NANO Server"},
    {110, "Cloud Storage Server"},
    {111, "Core Connected"},
    {112, "Processional Student"},
    {113, "Core Connected N"},
    {114, "Processional Student N"},
    {115, "Core Connected Single Language"},
    {116, "Core Connected Country Specific"},
    {117, "Connected Car"},
    {118, "Industry Handheld"},
    {119, "Pri Pro"},
    {120, "ARM64 Server"},
    {121, "Education"},
    {122, "Education N"},
    {123, "IoT Core"},
    {124, "Cloud Host Infrastructure Server"},
    {125, "Enterprise LTSB"},
    {126, "Enterprise LTSB N"},
    {127, "Profrssional LTSB"},
    {128, "Profrssional LTSB N"},
    {129, "Enterprise LTSB Evaluation"},
    {130, "Enterprise LTSB N Evaluation"},
    {161, "Windows 10 Pro for Workstations"},
    {162, "Windows 10 Pro for Workstations N"},
};

} // namespace

const char* ProductName(std::uint32_t productType) {
    for (const auto& [type, name] : kProductNames)
        if (type == productType) return name;
    return nullptr;
}

} // namespace tvd
