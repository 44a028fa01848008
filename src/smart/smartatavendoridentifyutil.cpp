#include "smart/smartatavendoridentifyutil.h"

#include <algorithm>
#include <initializer_list>

namespace tvd {
namespace {

using enum SmartVendorProfileId;
using Ids = std::span<const std::uint8_t>;

// A model-table row: every non-empty pattern must be contained in its text.
struct ModelRow {
    std::string_view model;
    std::string_view model2;
    std::string_view firmware;
    SmartVendorProfileId profile;
};

std::string_view Bounded(std::string_view text, std::size_t maxChars) {
    text = text.substr(0, std::min(text.size(), maxChars));
    return text.substr(0, text.find('\0'));
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsWithAny(std::string_view text, std::initializer_list<std::string_view> prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](std::string_view p) { return StartsWithNoCase(text, p); });
}

bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> parts) {
    return std::any_of(parts.begin(), parts.end(),
                       [&](std::string_view p) { return ContainsNoCase(text, p); });
}

bool MatchesAny(Ids ids, std::initializer_list<Ids> signatures) {
    return std::any_of(signatures.begin(), signatures.end(),
                       [&](Ids s) { return MatchesSignature(ids, s); });
}

template <std::size_t N>
SmartVendorProfileId FromTable(const ModelRow (&rows)[N], SmartVendorProfileId fallback,
                               std::string_view model, std::string_view firmware) {
    for (const ModelRow& r : rows) {
        if (!ContainsNoCase(model, r.model)) continue;
        if (!r.model2.empty() && !ContainsNoCase(model, r.model2)) continue;
        if (!r.firmware.empty() && !ContainsNoCase(firmware, r.firmware)) continue;
        return r.profile;
    }
    return fallback;
}

constexpr ModelRow kSanDiskRows[] = {
    {"X600", "2280", {}, kSanDiskGbSectors},
    {"X400", {}, {}, kSanDiskGbSectors},
    {"X300", {}, {}, kSanDiskGbSectors},
    {"X110", {}, {}, kSanDiskGbSectors},
    {"SD5", {}, {}, kSanDiskGbSectors},
    {"1006", "8U", {}, kSanDiskHpVenus},
    {"1006", {}, {}, kSanDiskHp},
    {"G1001", "6S", {}, kSanDiskLenovoHelenVenus},
    {"G1001", "7S", {}, kSanDiskLenovoHelenVenus},
    {"G1001", "8U", {}, kSanDiskLenovoHelenVenus},
    {"G1001", {}, {}, kSanDiskLenovo},
    {"G1012", {}, {}, kSanDiskDell},
    {"Z400s 2.5", {}, {}, kSanDiskDell},
    {"iSSD P4", {}, {}, kSanDiskGbSectors},
    {"SDSSDP", {}, {}, kSanDisk},
    {"SDSSDRC", {}, {}, kSanDisk},
    {"SSD U100", {}, {}, kSanDisk},
    {"SSD U110", {}, {}, kSanDisk},
    {"SSD i100", {}, {}, kSanDisk},
    {"SSD i110", {}, {}, kSanDisk},
    {"pSSD", {}, {}, kSanDisk},
};
constexpr ModelRow kWdRows[] = {{"SA530", {}, {}, kWd64Mib}};
constexpr ModelRow kSeagateRows[] = {
    {"BarraCuda", {}, {}, kSeagateBarraCuda},
    {"HM", {}, {}, kSeagateA},
    {"FP", {}, {}, kSeagateA},
};
constexpr ModelRow kToshibaRows[] = {{"THNSNC", {}, {}, kToshiba32Mib}};
constexpr ModelRow kKingstonRows[] = {
    {"SM2280", {}, {}, kKingston},
    {"SEDC400", {}, {}, kKingston},
    {"SKC310", {}, {}, kKingston},
    {"SHSS", {}, {}, kKingston},
    {"SUV300", {}, {}, kKingston},
    {"SKC400", {}, {}, kKingston},
    {"SA400", {}, "03070009", kKingstonSa400A},
    {"SA400", {}, "SBFK62C3", kKingstonSa400B},
    {"SA400", {}, {}, kKingstonSa400C},
    {"KC600", {}, {}, kKingstonKc600},
    {"DC500", {}, {}, kKingstonDc500},
    {"SUV400", {}, {}, kKingstonSuv},
    {"SUV500", {}, {}, kKingstonSuv},
};
constexpr ModelRow kSkHynixRows[] = {
    {"HFS", "TND", {}, kSkHynixInverseLife}, {"HFS", "MND", {}, kSkHynixRawLife},
    {"HFS", "TNF", {}, kSkHynixRawLife},     {"SC311", {}, {}, kSkHynixSectors},
    {"SC401", {}, {}, kSkHynixSectors},
};

constexpr std::uint8_t kSeagateIronWolfSig[] = {0x01, 0x05, 0x09, 0x0C, 0x64, 0x66, 0x67, 0xAA,
                                                0xAB, 0xAC, 0xAD, 0xAE, 0xB1, 0xB7, 0xBB};
constexpr std::uint8_t kMtronSig[] = {0xBB};
constexpr std::uint8_t kJMicron66xSig[] = {0x01, 0x02, 0x03, 0x05, 0x07, 0x08, 0x09, 0x0A,
                                           0x0C, 0xA7, 0xA8, 0xA9, 0xAA, 0xAD, 0xAF};
constexpr std::uint8_t kJMicron61xSig[] = {0x01, 0x02, 0x03, 0x05, 0x07, 0x08, 0x09,
                                           0x0A, 0x0C, 0xA8, 0xAF, 0xC0, 0xC2};
constexpr std::uint8_t kJMicron60xSig[] = {0x0C, 0x09, 0xC2, 0xE5, 0xE8, 0xE9};
constexpr std::uint8_t kIndilinxSig[] = {0x01, 0x09, 0x0C, 0xB8, 0xC3, 0xC4};
constexpr std::uint8_t kIntelSig1[] = {0x03, 0x04, 0x05, 0x09, 0x0C, 0xC0, 0xE1};
constexpr std::uint8_t kIntelSig2[] = {0x03, 0x04, 0x05, 0x09, 0x0C, 0xC0, 0xE8, 0xE9};
constexpr std::uint8_t kIntelSig3[] = {0x03, 0x04, 0x05, 0x09, 0x0C, 0xAA, 0xAB, 0xAC};
constexpr std::uint8_t kSamsungSig1[] = {0x09, 0x0C, 0xB2, 0xB3, 0xB4};
constexpr std::uint8_t kSamsungSig2[] = {0x09, 0x0C, 0xB1, 0xB2, 0xB3, 0xB4, 0xB7};
constexpr std::uint8_t kSamsungSig3[] = {0x09, 0x0C, 0xAF, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4};
constexpr std::uint8_t kSamsungSig4[] = {0x05, 0x09, 0x0C, 0xB1, 0xB3, 0xB5, 0xB6};
constexpr std::uint8_t kMicronSig[] = {0x01, 0x05, 0x09, 0x0C, 0xAA, 0xAB,
                                       0xAC, 0xAD, 0xAE, 0xB5, 0xB7};
constexpr std::uint8_t kSandForceSig1[] = {0x01, 0x05, 0x09, 0x0C, 0x0D, 0x64, 0xAA};
constexpr std::uint8_t kSandForceSig2[] = {0x01, 0x05, 0x09, 0x0C, 0xAB, 0xAC};
constexpr std::uint8_t kSandForceSig3[] = {0x01, 0x02, 0x03, 0x05, 0x07, 0x08, 0x09, 0x0A,
                                           0x0C, 0xA7, 0xA8, 0xA9, 0xAA, 0xAD, 0xAF, 0xB1};
constexpr std::uint8_t kOczSig[] = {0x01, 0x03, 0x04, 0x05, 0x09, 0x0C, 0xE8, 0xE9};
constexpr std::uint8_t kOczVectorSig[] = {0x05, 0x09, 0x0C, 0xAB, 0xAE, 0xC3, 0xC4, 0xC5, 0xC6};
constexpr std::uint8_t kPlextorSig[] = {0x01, 0x05, 0x09, 0x0C, 0xB1, 0xB2, 0xB5, 0xB6};
constexpr std::uint8_t kRealtekSig[] = {0x01, 0x05, 0x09, 0x0C, 0xA1, 0xA2, 0xA3, 0xA4, 0xA6, 0xA7};
constexpr std::uint8_t kSiliconMotionSig1[] = {0x01, 0x05, 0x09, 0x0C, 0xA0, 0xA1, 0xA3,
                                               0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAF,
                                               0xB0, 0xB1, 0xB2, 0xB5, 0xB6, 0xC0};
constexpr std::uint8_t kSiliconMotionSig2[] = {0x01, 0x05, 0x09, 0x0C, 0xA0, 0xA1, 0xA3,
                                               0xA4, 0xA5, 0xA6, 0xA7, 0x94, 0x95, 0x96,
                                               0x97, 0xA9, 0xB1, 0xB5, 0xB6, 0xBB};
constexpr std::uint8_t kSiliconMotionSig3[] = {0x01, 0x05, 0x09, 0x0C, 0x94, 0x95,
                                               0x96, 0x97, 0x9F, 0xA0, 0xA1};
constexpr std::uint8_t kSiliconMotionSig4[] = {0x01, 0x05, 0x09, 0x0C, 0xA0, 0xA1,
                                               0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
constexpr std::uint8_t kSiliconMotionSig5[] = {0x01, 0x05, 0x09, 0x0C, 0xA0, 0xA1,
                                               0xA3, 0x94, 0x95, 0x96, 0x97};
constexpr std::uint8_t kPhisonSig1[] = {0x01, 0x09, 0x0C, 0xA8, 0xAA, 0xAD,
                                        0xC0, 0xC2, 0xDA, 0xE7, 0xF1};
constexpr std::uint8_t kPhisonSig2[] = {0x01, 0x09, 0x0C, 0xA8, 0xAA, 0xAD, 0xC0, 0xDA, 0xE7, 0xF1};
constexpr std::uint8_t kMarvellSig1[] = {0x05, 0x09, 0x0C, 0xA1, 0xA4, 0xA5, 0xA6, 0xA7};
constexpr std::uint8_t kMarvellSig2[] = {0x05, 0x09, 0x0C, 0xA4, 0xA5, 0xA6, 0xA7};
constexpr std::uint8_t kMaxiotekSig[] = {0x05, 0x09, 0x0C, 0xA7, 0xA8, 0xA9};

bool IsMicron(std::string_view m, std::string_view fw) {
    if (StartsWithAny(m, {"P600", "C600", "M6-", "M600", "P500"})) return true;
    if (StartsWithNoCase(m, "C500")) return StartsWithNoCase(fw, "H");
    if (StartsWithAny(
            m, {"M5-", "M500", "P400", "C400", "M4-", "M400", "P300", "C300", "M3-", "M300"}))
        return true;
    if (StartsWithNoCase(m, "CT") && ContainsNoCase(m, "SSD")) return true;
    return StartsWithAny(m, {"CRUCIAL", "MICRON", "MTFD"});
}

bool IsSiliconMotionA(std::string_view m, std::string_view fw) {
    return (StartsWithNoCase(m, "SSD") && StartsWithNoCase(fw, "FW")) ||
           StartsWithAny(m, {"WT200", "WT100", "WT "});
}

} // namespace

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
    if (part.size() > text.size()) return false;
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i)
        if (EqualNoCase(text.substr(i, part.size()), part)) return true;
    return false;
}

bool MatchesSignature(std::span<const std::uint8_t> ids, std::span<const std::uint8_t> signature) {
    return !signature.empty() && ids.size() > signature.size() &&
           std::equal(signature.begin(), signature.end(), ids.begin());
}

SmartVendorProfileId RecognizeVendor(std::string_view model, std::string_view firmware,
                                     std::span<const std::uint8_t> ids) {
    const std::string_view m = Bounded(model, kSmartModelChars);
    const std::string_view fw = Bounded(firmware, kSmartFirmwareChars);

    if (ContainsNoCase(m, "SanDisk")) return FromTable(kSanDiskRows, kSanDiskGb, m, fw);
    if (ContainsNoCase(m, "WDC ")) return FromTable(kWdRows, kWd, m, fw);
    if (MatchesSignature(ids, kSeagateIronWolfSig)) return kSeagateIronWolf;
    if (StartsWithNoCase(m, "Seagate") ||
        (!StartsWithNoCase(m, "STT") && StartsWithAny(m, {"ST", "ZA"})))
        return FromTable(kSeagateRows, kSeagateB, m, fw);
    if (MatchesSignature(ids, kMtronSig) || StartsWithNoCase(m, "MTRON")) return kMtron;
    if (ContainsNoCase(m, "TOSHIBA")) return FromTable(kToshibaRows, kToshiba, m, fw);
    if (MatchesSignature(ids, kJMicron66xSig) || StartsWithNoCase(m, "VORNA KT350"))
        return kJMicron66x;
    if (MatchesSignature(ids, kJMicron61xSig)) return kJMicron61x;
    if (MatchesSignature(ids, kJMicron60xSig)) return kJMicron60x;
    if (MatchesSignature(ids, kIndilinxSig)) return kIndilinx;
    if (ContainsNoCase(m, "INTEL SSDSCKHB")) return kIntelDc;
    if (MatchesAny(ids, {kIntelSig1, kIntelSig2, kIntelSig3}) ||
        ContainsAny(m, {"INTEL", "SOLIDIGM"}))
        return kIntel;
    if (MatchesAny(ids, {kSamsungSig1, kSamsungSig2, kSamsungSig3, kSamsungSig4}) ||
        ContainsAny(m, {"SAMSUNG", "MZ-"}))
        return kSamsung;
    if (StartsWithAny(m, {"MICRON_M600", "MICRON M600", "MICRON_M550", "MICRON M550", "MICRON_M510",
                          "MICRON M510", "MICRON_M500", "MICRON M500", "MICRON_1300", "MICRON 1300",
                          "MICRON_1100", "MICRON 1100", "MTFDDA"}))
        return kMicronMu03Sectors;
    if (!ContainsNoCase(fw, "MU01") &&
        (ContainsAny(m, {"M500SSD", "MX500SSD", "BX500SSD", "MX300SSD", "BX300SSD", "MX200SSD",
                         "BX200SSD", "MX100SSD", "BX100SSD"}) ||
         StartsWithNoCase(m, "MTFD")))
        return kMicronMu0332Mib;
    if (MatchesSignature(ids, kMicronSig) || IsMicron(m, fw)) return kMicron;
    if (MatchesAny(ids, {kSandForceSig1, kSandForceSig2, kSandForceSig3}) ||
        ContainsNoCase(m, "SandForce"))
        return kSandForce;
    if (StartsWithNoCase(m, "OCZ-TRION") || MatchesSignature(ids, kOczSig) ||
        StartsWithNoCase(m, "OCZ"))
        return kOcz;
    if (MatchesSignature(ids, kOczVectorSig) || StartsWithAny(m, {"PANASONIC RP-SSB", "OCZ"}))
        return kOczVector;
    if (ContainsAny(m, {"CV8-", "CVB-", "ER2-"})) return kSsstc;
    if (MatchesSignature(ids, kPlextorSig) ||
        StartsWithAny(m, {"PLEXTOR", "LITEON", "CV6-CQ", "CSSD-S6T128NM3PQ", "CSSD-S6T256NM3PQ"}))
        return kPlextor;
    if (ContainsNoCase(m, "KINGSTON")) return FromTable(kKingstonRows, kKingston, m, fw);
    if (StartsWithNoCase(m, "Corsair")) return kCorsair;
    if (MatchesSignature(ids, kRealtekSig)) return kRealtek;
    if (ContainsNoCase(m, "SK hynix") || StartsWithAny(m, {"HFS", "SHG"}))
        return FromTable(kSkHynixRows, kSkHynix, m, fw);
    if (ContainsNoCase(m, "KIOXIA")) return kKioxia;
    if (MatchesAny(ids, {kSiliconMotionSig1, kSiliconMotionSig2, kSiliconMotionSig3,
                         kSiliconMotionSig4, kSiliconMotionSig5}) ||
        StartsWithNoCase(m, "VORNA KT620"))
        return IsSiliconMotionA(m, fw) ? kSiliconMotionA : kSiliconMotionB;
    if (MatchesAny(ids, {kPhisonSig1, kPhisonSig2}))
        return StartsWithNoCase(fw, "S9") ? kPhisonMib : kPhison;
    if (MatchesAny(ids, {kMarvellSig1, kMarvellSig2})) return kMarvell;
    if (MatchesSignature(ids, kMaxiotekSig) || StartsWithNoCase(m, "MAXIO")) return kMaxiotek;
    if (StartsWithAny(m, {"CUSO C5S-EVO", "VORNA KT480"})) return kMaxiotekSectors;
    if (StartsWithAny(m, {"Apacer", "ZADAK", "AP", "SF", "PN"})) return kApacer;
    if (ContainsNoCase(m, "ZHITAI")) return kYmtc;
    if (StartsWithNoCase(m, "SCY")) return kScy;
    if (StartsWithNoCase(m, "TOLMERAN")) return kTolmeran;
    if (StartsWithNoCase(m, "VORNA KT270")) return kSsdSectors;
    if (StartsWithNoCase(m, "LITEON IT LMT")) return kSsd32Mib;
    if (StartsWithNoCase(m, "LITEON S960")) return kSsdGib;
    return kSsd;
}

SmartVendorProfileId SelectVendorProfile(bool solidState, std::string_view model,
                                         std::string_view firmware,
                                         std::span<const std::uint8_t> ids) {
    return solidState ? RecognizeVendor(model, firmware, ids) : kHardDisk;
}

} // namespace tvd
