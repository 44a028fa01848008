#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "smart/smartatavendoridentifyutil.h"

namespace tvd {
namespace {

using enum SmartVendorProfileId;
using IdList = std::vector<std::uint8_t>;

// IDENTIFY models arrive space-padded to 40 characters.
std::string Model(std::string text) {
    text.resize(kSmartModelChars, ' ');
    return text;
}

// A reported attribute list: the ids given, then one more as every real drive has.
IdList Reported(IdList ids) {
    ids.push_back(0xC2);
    return ids;
}

const std::string kNeutral = Model("XYZ SATA DRIVE 128GB");

struct Case {
    const char* model;
    const char* firmware;
    IdList ids;
    SmartVendorProfileId expected;
};

void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " / " + c.firmware);
        EXPECT_EQ(RecognizeVendor(Model(c.model), c.firmware, c.ids), c.expected);
    }
}

TEST(SmartVendorIdentify, ModelRules) {
    Check({
        {"SanDisk SDSSDX600 2280 128G", "X6010", {}, kSanDiskGbSectors},
        {"SanDisk X600 M.2 128G", "X6010", {}, kSanDiskGb},
        {"SanDisk SD7SB6S128G1006 8U", "X", {}, kSanDiskHpVenus},
        {"SanDisk SD8SB8U1T001122", "X", {}, kSanDiskGb},
        {"WDC WDS250G2B0A SA530", "X", {}, kWd64Mib},
        {"WDC WDS500G2B0A-00SM50", "X", {}, kWd},
        {"ST240HM000-1G5152", "X", {}, kSeagateA},
        {"Seagate BarraCuda SSD ZA250CM10002", "X", {}, kSeagateBarraCuda},
        {"ZA500CM10002-2RA103", "X", {}, kSeagateB},
        {"STT-240 SATA", "X", {}, kSsd},
        {"MTRON MSD-SATA3035", "X", {}, kMtron},
        {"TOSHIBA THNSNC128GBSJ", "X", {}, kToshiba32Mib},
        {"TOSHIBA-TR150", "X", {}, kToshiba},
        {"VORNA KT350 256GB", "X", {}, kJMicron66x},
        {"INTEL SSDSCKHB120G4", "X", {}, kIntelDc},
        {"INTEL SSDSC2BW240A4", "X", {}, kIntel},
        {"SOLIDIGM SSDSC2KG480G8", "X", {}, kIntel},
        {"samsung ssd 860 evo 500gb", "X", {}, kSamsung},
        {"MZ-7LN512A", "X", {}, kSamsung},
        {"Micron_M500_MTFDDAK480MAV", "MU05", {}, kMicronMu03Sectors},
        {"Crucial_CT500MX500SSD1", "M3CR023", {}, kMicronMu0332Mib},
        {"C400-MTFDDAC128MAM", "0309", {}, kMicron},
        {"CT240BX500SSD1", "M6CR013", {}, kMicronMu0332Mib},
        {"CT240M4SSD2", "040H", {}, kMicron},
        {"SandForce 1st Ed.", "X", {}, kSandForce},
        {"OCZ-TRION150", "X", {}, kOcz},
        {"PANASONIC RP-SSB240GAK", "X", {}, kOczVector},
        {"CV8-8E128-11 SATA", "X", {}, kSsstc},
        {"PLEXTOR PX-128M5S", "X", {}, kPlextor},
        {"KINGSTON SKC600512G", "X", {}, kKingstonKc600},
        {"KINGSTON SEDC500M480G", "X", {}, kKingstonDc500},
        {"KINGSTON SUV400S37240G", "X", {}, kKingstonSuv},
        {"KINGSTON SV300S37A120G", "X", {}, kKingston},
        {"Corsair Force LE", "X", {}, kCorsair},
        {"SK hynix SC311 SATA 256GB", "X", {}, kSkHynixSectors},
        {"HFS256G39TND-N210A", "X", {}, kSkHynixInverseLife},
        {"HFS512G39MND-3510A", "X", {}, kSkHynixRawLife},
        {"SHGS31-500GS-2", "X", {}, kSkHynix},
        {"KIOXIA-EXCERIA SATA SSD", "X", {}, kKioxia},
        {"VORNA KT620 512GB", "X", {}, kSiliconMotionB},
        {"MAXIO SSD 256GB", "X", {}, kMaxiotek},
        {"VORNA KT480 1TB", "X", {}, kMaxiotekSectors},
        {"Apacer AS340 120GB", "X", {}, kApacer},
        {"ZHITAI SC001 XT 512GB", "X", {}, kYmtc},
        {"SCY S6 256GB", "X", {}, kScy},
        {"TOLMERAN X1", "X", {}, kTolmeran},
        {"VORNA KT270 128GB", "X", {}, kSsdSectors},
        {"XYZ VORNA KT270", "X", {}, kSsd}, // a prefix rule, not a substring one
    });
}

TEST(SmartVendorIdentify, FirmwareTests) {
    const IdList smi = Reported({0x01, 0x05, 0x09, 0x0C, 0xA0, 0xA1, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7});
    const IdList phison = Reported({0x01, 0x09, 0x0C, 0xA8, 0xAA, 0xAD, 0xC0, 0xDA, 0xE7, 0xF1});
    Check({
        {"KINGSTON SA400S37240G", "03070009", {}, kKingstonSa400A},
        {"KINGSTON SA400S37240G", "sbfk62c3", {}, kKingstonSa400B},
        {"KINGSTON SA400S37240G", "S1Z40102", {}, kKingstonSa400C},
        {"Crucial_CT500MX500SSD1", "MU01", {}, kMicron},
        {"C500-MTFDDAK", "H103", {}, kMicron},
        {"C500-XYZ", "X103", {}, kSsd},
        {"SSD 128GB", "FW1.0", smi, kSiliconMotionA},
        {"SSD 128GB", "SN1.0", smi, kSiliconMotionB},
        {"WT200-128GB", "SN1.0", smi, kSiliconMotionA},
        {"XYZ SATA DRIVE", "S9FM02.1", phison, kPhisonMib},
        {"XYZ SATA DRIVE", "SBFM02.1", phison, kPhison},
    });
}

TEST(SmartVendorIdentify, Signatures) {
    Check({
        {"XYZ", "X",
         Reported({0x01, 0x05, 0x09, 0x0C, 0x64, 0x66, 0x67, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xB1,
                   0xB7, 0xBB}),
         kSeagateIronWolf},
        {"XYZ", "X", Reported({0xBB}), kMtron},
        {"XYZ", "X",
         Reported({0x01, 0x02, 0x03, 0x05, 0x07, 0x08, 0x09, 0x0A, 0x0C, 0xA7, 0xA8, 0xA9, 0xAA,
                   0xAD, 0xAF}),
         kJMicron66x},
        {"XYZ", "X",
         Reported({0x01, 0x02, 0x03, 0x05, 0x07, 0x08, 0x09, 0x0A, 0x0C, 0xA8, 0xAF, 0xC0, 0xC2}),
         kJMicron61x},
        {"XYZ", "X", Reported({0x0C, 0x09, 0xC2, 0xE5, 0xE8, 0xE9}), kJMicron60x},
        {"XYZ", "X", Reported({0x01, 0x09, 0x0C, 0xB8, 0xC3, 0xC4}), kIndilinx},
        {"XYZ", "X", Reported({0x03, 0x04, 0x05, 0x09, 0x0C, 0xC0, 0xE1}), kIntel},
        {"XYZ", "X", Reported({0x03, 0x04, 0x05, 0x09, 0x0C, 0xAA, 0xAB, 0xAC}), kIntel},
        {"XYZ", "X", Reported({0x09, 0x0C, 0xB2, 0xB3, 0xB4}), kSamsung},
        {"XYZ", "X", Reported({0x05, 0x09, 0x0C, 0xB1, 0xB3, 0xB5, 0xB6}), kSamsung},
        {"XYZ", "X", Reported({0x01, 0x05, 0x09, 0x0C, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xB5, 0xB7}),
         kMicron},
        {"XYZ", "X", Reported({0x01, 0x05, 0x09, 0x0C, 0x0D, 0x64, 0xAA}), kSandForce},
        {"XYZ", "X", Reported({0x01, 0x05, 0x09, 0x0C, 0xAB, 0xAC}), kSandForce},
        {"XYZ", "X", Reported({0x01, 0x03, 0x04, 0x05, 0x09, 0x0C, 0xE8, 0xE9}), kOcz},
        {"XYZ", "X", Reported({0x05, 0x09, 0x0C, 0xAB, 0xAE, 0xC3, 0xC4, 0xC5, 0xC6}), kOczVector},
        {"XYZ", "X", Reported({0x01, 0x05, 0x09, 0x0C, 0xB1, 0xB2, 0xB5, 0xB6}), kPlextor},
        {"XYZ", "X", Reported({0x01, 0x05, 0x09, 0x0C, 0xA1, 0xA2, 0xA3, 0xA4, 0xA6, 0xA7}),
         kRealtek},
        {"XYZ", "X", Reported({0x01, 0x05, 0x09, 0x0C, 0xA0, 0xA1, 0xA3, 0x94, 0x95, 0x96, 0x97}),
         kSiliconMotionB},
        {"XYZ", "X", Reported({0x01, 0x09, 0x0C, 0xA8, 0xAA, 0xAD, 0xC0, 0xC2, 0xDA, 0xE7, 0xF1}),
         kPhison},
        {"XYZ", "X", Reported({0x05, 0x09, 0x0C, 0xA1, 0xA4, 0xA5, 0xA6, 0xA7}), kMarvell},
        {"XYZ", "X", Reported({0x05, 0x09, 0x0C, 0xA4, 0xA5, 0xA6, 0xA7}), kMarvell},
        {"XYZ", "X", Reported({0x05, 0x09, 0x0C, 0xA7, 0xA8, 0xA9}), kMaxiotek},
    });
}

TEST(SmartVendorIdentify, SignatureNeedsOneMoreId) {
    const IdList sig = {0x09, 0x0C, 0xB2, 0xB3, 0xB4};
    struct Row {
        const char* what;
        IdList ids;
        bool matches;
    };
    const std::vector<Row> rows = {
        {"exactly the signature", sig, false},
        {"signature and one more", {0x09, 0x0C, 0xB2, 0xB3, 0xB4, 0xC2}, true},
        {"one id differs", {0x09, 0x0C, 0xB2, 0xB3, 0xB5, 0xC2}, false},
        {"same ids, other order", {0x0C, 0x09, 0xB2, 0xB3, 0xB4, 0xC2}, false},
        {"signature later in the list", {0x01, 0x09, 0x0C, 0xB2, 0xB3, 0xB4, 0xC2}, false},
        {"shorter than the signature", {0x09, 0x0C}, false},
        {"empty list", {}, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(MatchesSignature(r.ids, sig), r.matches);
        EXPECT_EQ(RecognizeVendor(kNeutral, "X", r.ids), r.matches ? kSamsung : kSsd);
    }
    EXPECT_FALSE(MatchesSignature(IdList{0x01, 0x02}, IdList{}));
}

TEST(SmartVendorIdentify, EarlierRuleWins) {
    const IdList samsungSig = Reported({0x09, 0x0C, 0xB2, 0xB3, 0xB4});
    const IdList ironWolfSig = Reported(
        {0x01, 0x05, 0x09, 0x0C, 0x64, 0x66, 0x67, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xB1, 0xB7, 0xBB});
    Check({
        {"SanDisk SDSSDP064G", "X", samsungSig, kSanDisk},
        {"WDC WDS500G2B0A", "X", ironWolfSig, kWd},
        {"Samsung SSD 850", "X", ironWolfSig, kSeagateIronWolf},
        {"INTEL SSDSC2BW240A4", "X", Reported({0xBB}), kMtron},
        {"SAMSUNG MICRON_M500", "X", {}, kSamsung},
        {"KINGSTON SANDISK", "X", {}, kSanDiskGb},
    });
}

TEST(SmartVendorIdentify, HardDiskGetsGenericProfile) {
    const IdList samsungSig = Reported({0x09, 0x0C, 0xB2, 0xB3, 0xB4});
    const std::string model = Model("Samsung SSD 860");
    EXPECT_EQ(SelectVendorProfile(false, model, "X", samsungSig), kHardDisk);
    EXPECT_EQ(SelectVendorProfile(true, model, "X", samsungSig), kSamsung);
    EXPECT_EQ(SelectVendorProfile(false, "", "", {}), kHardDisk);
    EXPECT_EQ(GetSmartVendorProfile(kHardDisk).type, kSmartTypeHardDisk);
    EXPECT_EQ(GetSmartVendorProfile(static_cast<SmartVendorProfileId>(200)).type,
              kSmartTypeHardDisk);
}

TEST(SmartVendorIdentify, EmptyAndOddText) {
    const std::string pastEnd = Model("XYZ") + "SAMSUNG";
    struct Row {
        const char* what;
        std::string model;
        std::string firmware;
        SmartVendorProfileId expected;
    };
    const std::vector<Row> rows = {
        {"all empty", "", "", kSsd},
        {"text ends at NUL", std::string("\0SAMSUNG", 8), "", kSsd},
        {"nothing read past 40 characters", pastEnd, "", kSsd},
        {"high bytes", "\xFF\x80\xC3\xA9", "\xFF", kSsd},
        {"short prefix of a pattern", "SAMS", "", kSsd},
        {"firmware read no further than 8", Model("KINGSTON SA400"), "XXXXXXXX03070009",
         kKingstonSa400C},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(RecognizeVendor(r.model, r.firmware, {}), r.expected);
    }
}

} // namespace
} // namespace tvd
