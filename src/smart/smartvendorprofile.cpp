#include "smart/smartvendorprofile.h"

#include <array>
#include <cstddef>

namespace tvd {
namespace {

using enum SmartVendorProfileId;

struct Row {
    SmartVendorProfileId id;
    SmartVendorProfile profile;
};

// Kept in enum order; the check below makes a reordered or missing row a build error.
constexpr Row kRows[] = {
    {kHardDisk, {3, u"Smart", 0, 0}},
    {kSsd, {4, u"SmartSsd", 0, 1}},
    {kSsdSectors, {4, u"SmartSsd", 1, 1}},
    {kSsd32Mib, {4, u"SmartSsd", 4, 1}},
    {kSsdGib, {4, u"SmartSsd", 5, 1}},
    {kIntel, {10, u"SmartIntel", 5, 1}},
    {kIntelDc, {101, u"SmartIntelDc", 5, 1}},
    {kSamsung, {11, u"SmartSamsung", 5, 1}},
    {kSandForce, {12, u"SmartSandForce", 5, 1}},
    {kJMicron60x, {13, u"SmartJMicron60x", 5, 1}},
    {kJMicron61x, {13, u"SmartJMicron61x", 5, 1}},
    {kJMicron66x, {13, u"SmartJMicron66x", 5, 1}},
    {kSanDisk, {14, u"SmartSanDisk", 1, 1}},
    {kSanDiskGbSectors, {14, u"SmartSanDiskGb", 1, 1}},
    {kSanDiskGb, {14, u"SmartSanDiskGb", 5, 1}},
    {kSanDiskDell, {131, u"SmartSanDiskDell", 5, 1}},
    {kSanDiskHp, {132, u"SmartSanDiskHp", 3, 1}},
    {kSanDiskHpVenus, {133, u"SmartSanDiskHpVenus", 3, 1}},
    {kSanDiskLenovo, {134, u"SmartSanDiskLenovo", 5, 1}},
    {kSanDiskLenovoHelenVenus, {135, u"SmartSanDiskLenovoHelenVenus", 5, 1}},
    {kKingston, {15, u"SmartKingston", 5, 1}},
    {kKingstonSa400A, {15, u"SmartKingstonSA400", 5, 1}},
    {kKingstonSa400B, {15, u"SmartKingstonSA400", 5, 0}},
    {kKingstonSa400C, {15, u"SmartKingstonSA400", 5, 2}},
    {kKingstonKc600, {15, u"SmartKingstonKC600", 4, 1}},
    {kKingstonDc500, {15, u"SmartKingstonDC500", 5, 1}},
    {kKingstonSuv, {15, u"SmartKingstonSuv", 5, 1}},
    {kMicron, {16, u"SmartMicron", 1, 1}},
    {kMicronMu03Sectors, {103, u"SmartMicronMU03", 1, 1}},
    {kMicronMu0332Mib, {103, u"SmartMicronMU03", 4, 1}},
    {kOcz, {17, u"SmartOcz", 1, 1}},
    {kOczVector, {102, u"SmartOczVector", 5, 1}},
    {kSeagateA, {18, u"SmartSeagate", 5, 1}},
    {kSeagateB, {18, u"SmartSeagate", 5, 2}},
    {kSeagateIronWolf, {18, u"SmartSeagateIronWolf", 5, 1}},
    {kSeagateBarraCuda, {18, u"SmartSeagateBarraCuda", 5, 2}},
    {kWd64Mib, {19, u"SmartWdc", 3, 1}},
    {kWd, {19, u"SmartWdc", 5, 1}},
    {kToshiba32Mib, {20, u"SmartToshiba", 4, 1}},
    {kToshiba, {20, u"SmartToshiba", 5, 1}},
    {kMtron, {21, u"SmartMtron", 5, 1}},
    {kIndilinx, {22, u"SmartIndilinx", 5, 1}},
    {kPlextor, {23, u"SmartPlextor", 4, 1}},
    {kCorsair, {24, u"SmartCorsair", 5, 1}},
    {kRealtek, {25, u"SmartRealtek", 5, 1}},
    {kSkHynix, {26, u"SmartSKhynix", 5, 1}},
    {kSkHynixRawLife, {26, u"SmartSKhynix", 5, 2}},
    {kSkHynixInverseLife, {26, u"SmartSKhynix", 5, 3}},
    {kSkHynixSectors, {26, u"SmartSKhynix", 1, 2}},
    {kKioxia, {27, u"SmartKioxia", 4, 1}},
    {kSsstc, {28, u"SmartSsstc", 5, 1}},
    {kApacer, {29, u"SmartApacer", 1, 2}},
    {kSiliconMotionA, {30, u"SmartSiliconMotion", 4, 1}},
    {kSiliconMotionB, {30, u"SmartSiliconMotion", 4, 2}},
    {kPhisonMib, {31, u"SmartPhison", 2, 2}},
    {kPhison, {31, u"SmartPhison", 5, 2}},
    {kMarvell, {32, u"SmartMarvell", 5, 1}},
    {kMaxiotek, {33, u"SmartMaxiotek", 5, 1}},
    {kMaxiotekSectors, {33, u"SmartMaxiotek", 1, 1}},
    {kYmtc, {34, u"SmartYmtc", 1, 1}},
    {kScy, {35, u"SmartScy", 4, 1}},
    {kTolmeran, {36, u"SmartTolmeran", 5, 1}},
};

constexpr bool RowsInEnumOrder() {
    if (std::size(kRows) != static_cast<std::size_t>(kCount)) return false;
    for (std::size_t i = 0; i < std::size(kRows); ++i)
        if (static_cast<std::size_t>(kRows[i].id) != i) return false;
    return true;
}
static_assert(RowsInEnumOrder(), "one profile row per id, in enum order");

} // namespace

const SmartVendorProfile& GetSmartVendorProfile(SmartVendorProfileId id) {
    const auto index = static_cast<std::size_t>(id);
    return kRows[index < std::size(kRows) ? index : 0].profile;
}

} // namespace tvd
