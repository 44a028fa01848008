// Language codes, Windows language identifiers and font character sets (portable rules).
#include "foundation/langutil.h"

#include <string>

namespace tvd {

namespace {

struct CodeId {
    const char* code;
    std::uint16_t id;
};

constexpr CodeId kCodes[] = {
    {"ENU", 1033}, {"ENG", 2057}, {"CHT", 1028}, {"CHS", 2052}, {"JPN", 1041}, {"KOR", 1042},
    {"DEU", 1031}, {"ESN", 3082}, {"FRA", 1036}, {"ITA", 1040}, {"PTG", 2070}, {"TRK", 1055},
    {"THA", 1054}, {"PLK", 1045}, {"RUS", 1049}, {"NLD", 1043}, {"DAN", 1030}, {"ARA", 1025},
    {"LVI", 1062}, {"ETI", 1061}, {"HUN", 1038}, {"CSY", 1029}, {"LTH", 1063}, {"HRV", 1050},
    {"SRB", 3098}, {"SLV", 1060}, {"ROM", 1048}, {"SKY", 1051}, {"BGR", 1026}, {"UKR", 1058},
    {"ELL", 1032}, {"SVE", 1053}, {"HEB", 1037}, {"VIT", 1066},
};

constexpr std::uint16_t kDefaultLangId = 2057;

// Languages whose sublanguages all share one code: primary language id, highest sublanguage.
struct PrimaryRange {
    std::uint16_t primary;
    std::uint16_t maxSub;
    const char* code;
};

constexpr PrimaryRange kPrimaryRanges[] = {
    {0x01, 16, "ARA"}, // 1025 .. 16385
    {0x0A, 20, "ESN"}, // 1034 .. 20490
    {0x0C, 6, "FRA"},  // 1036 .. 6156
    {0x07, 5, "DEU"},  // 1031 .. 5127
};

// Everything else maps by exact identifier; English (1033, 2057 .. 13321) falls to the default.
constexpr CodeId kExactIds[] = {
    {"CHT", 1028}, {"CHT", 3076}, {"CHS", 2052}, {"CHS", 4100}, {"CHS", 5124}, {"ITA", 1040},
    {"ITA", 2064}, {"NLD", 1043}, {"NLD", 2067}, {"PTG", 1046}, {"PTG", 2070}, {"HRV", 1050},
    {"HRV", 4122}, {"SVE", 1053}, {"SVE", 2077}, {"SRB", 2074}, {"SRB", 3098}, {"SRB", 6170},
    {"SRB", 7194}, {"JPN", 1041}, {"KOR", 1042}, {"TRK", 1055}, {"THA", 1054}, {"PLK", 1045},
    {"RUS", 1049}, {"DAN", 1030}, {"LVI", 1062}, {"ETI", 1061}, {"HUN", 1038}, {"CSY", 1029},
    {"LTH", 1063}, {"SLV", 1060}, {"ROM", 1048}, {"SKY", 1051}, {"BGR", 1026}, {"UKR", 1058},
    {"ELL", 1032}, {"HEB", 1037}, {"VIT", 1066},
};

struct IdCharset {
    std::uint16_t id;
    std::uint8_t charset;
};

constexpr IdCharset kCharsets[] = {
    {1025, 178}, {1026, 238}, {1029, 238}, {1045, 238}, {1048, 238}, {1050, 238},
    {1051, 238}, {1058, 238}, {1060, 238}, {3098, 238}, {1028, 136}, {1032, 161},
    {1037, 177}, {1041, 128}, {1042, 129}, {1049, 204}, {1054, 222}, {1055, 162},
    {1061, 186}, {1062, 186}, {1063, 186}, {1066, 163}, {2052, 134},
};

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

// Locale language and region → identifier. A row with an empty region is the language's
// default, used for a bare language or a region Windows has no identifier for.
struct LocaleRow {
    const char* lang;
    const char* region;
    std::uint16_t id;
};

constexpr LocaleRow kLocales[] = {
    {"en", "", 1033},    {"en", "US", 1033},  {"en", "GB", 2057},  {"en", "AU", 3081},
    {"en", "CA", 4105},  {"en", "NZ", 5129},  {"en", "IE", 6153},  {"en", "ZA", 7177},
    {"en", "JM", 8201},  {"en", "BZ", 10249}, {"en", "TT", 11273}, {"en", "ZW", 12297},
    {"en", "PH", 13321}, {"en", "IN", 16393}, {"en", "MY", 17417}, {"en", "SG", 18441},
    {"de", "", 1031},    {"de", "DE", 1031},  {"de", "CH", 2055},  {"de", "AT", 3079},
    {"de", "LU", 4103},  {"de", "LI", 5127},  {"fr", "", 1036},    {"fr", "FR", 1036},
    {"fr", "BE", 2060},  {"fr", "CA", 3084},  {"fr", "CH", 4108},  {"fr", "LU", 5132},
    {"fr", "MC", 6156},  {"es", "", 3082},    {"es", "ES", 3082},  {"es", "MX", 2058},
    {"es", "GT", 4106},  {"es", "CR", 5130},  {"es", "PA", 6154},  {"es", "DO", 7178},
    {"es", "VE", 8202},  {"es", "CO", 9226},  {"es", "PE", 10250}, {"es", "AR", 11274},
    {"es", "EC", 12298}, {"es", "CL", 13322}, {"es", "UY", 14346}, {"es", "PY", 15370},
    {"es", "BO", 16394}, {"es", "SV", 17418}, {"es", "HN", 18442}, {"es", "NI", 19466},
    {"es", "PR", 20490}, {"es", "US", 21514}, {"pt", "", 2070},    {"pt", "PT", 2070},
    {"pt", "BR", 1046},  {"zh", "", 2052},    {"zh", "CN", 2052},  {"zh", "TW", 1028},
    {"zh", "HK", 3076},  {"zh", "SG", 4100},  {"zh", "MO", 5124},  {"it", "", 1040},
    {"it", "CH", 2064},  {"nl", "", 1043},    {"nl", "BE", 2067},  {"sv", "", 1053},
    {"sv", "FI", 2077},  {"hr", "", 1050},    {"hr", "BA", 4122},  {"sr", "", 3098},
    {"sr", "BA", 7194},  {"ar", "", 1025},    {"ar", "SA", 1025},  {"ar", "IQ", 2049},
    {"ar", "EG", 3073},  {"ar", "LY", 4097},  {"ar", "DZ", 5121},  {"ar", "MA", 6145},
    {"ar", "TN", 7169},  {"ar", "OM", 8193},  {"ar", "YE", 9217},  {"ar", "SY", 10241},
    {"ar", "JO", 11265}, {"ar", "LB", 12289}, {"ar", "KW", 13313}, {"ar", "AE", 14337},
    {"ar", "BH", 15361}, {"ar", "QA", 16385}, {"ro", "", 1048},    {"ro", "MD", 2072},
    {"ru", "", 1049},    {"ru", "MD", 2073},  {"ja", "", 1041},    {"ko", "", 1042},
    {"tr", "", 1055},    {"th", "", 1054},    {"pl", "", 1045},    {"da", "", 1030},
    {"lv", "", 1062},    {"et", "", 1061},    {"hu", "", 1038},    {"cs", "", 1029},
    {"lt", "", 1063},    {"sl", "", 1060},    {"sk", "", 1051},    {"bg", "", 1026},
    {"uk", "", 1058},    {"el", "", 1032},    {"he", "", 1037},    {"iw", "", 1037},
    {"vi", "", 1066},    {"fi", "", 1035},    {"nb", "", 1044},    {"no", "", 1044},
    {"nn", "", 2068},    {"ca", "", 1027},    {"is", "", 1039},    {"id", "", 1057},
    {"ms", "", 1086},    {"hi", "", 1081},    {"fa", "", 1065},
};

std::uint16_t LookupLocale(const std::string& lang, const std::string& region) {
    std::uint16_t fallback = 0;
    for (const auto& row : kLocales) {
        if (lang != row.lang) continue;
        if (region == row.region) return row.id;
        if (row.region[0] == '\0') fallback = row.id;
    }
    return fallback;
}

} // namespace

std::uint16_t LangIdFromCode(std::string_view code) {
    for (const auto& row : kCodes)
        if (EqualsNoCase(code, row.code)) return row.id;
    return kDefaultLangId;
}

const char* LangCodeFromId(std::uint16_t langId) {
    const std::uint16_t primary = langId & 0x3FF;
    const std::uint16_t sub = langId >> 10;
    for (const auto& r : kPrimaryRanges)
        if (primary == r.primary && sub >= 1 && sub <= r.maxSub) return r.code;
    for (const auto& row : kExactIds)
        if (row.id == langId) return row.code;
    return "ENG";
}

std::uint8_t CharsetFromLangId(std::uint16_t langId) {
    for (const auto& row : kCharsets)
        if (row.id == langId) return row.charset;
    return 1;
}

std::uint16_t LangIdFromLocaleName(std::string_view locale) {
    // "lang[_-][Script][_-]REGION[.codeset][@modifier]"; the modifier only matters for Serbian.
    std::string_view modifier;
    if (auto at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at + 1);
        locale = locale.substr(0, at);
    }
    if (auto dot = locale.find('.'); dot != std::string_view::npos) locale = locale.substr(0, dot);
    if (locale.empty()) return 0;
    if (locale == "C" || locale == "POSIX") return 1033;

    std::string lang, script, region;
    std::size_t part = 0;
    std::size_t start = 0;
    while (start <= locale.size()) {
        std::size_t end = locale.find_first_of("_-", start);
        if (end == std::string_view::npos) end = locale.size();
        std::string_view tag = locale.substr(start, end - start);
        if (part == 0) {
            for (char c : tag)
                lang += AsciiLower(c);
        } else if (tag.size() == 4 && script.empty() && region.empty()) {
            script.assign(tag);
        } else if ((tag.size() == 2 || tag.size() == 3) && region.empty()) {
            for (char c : tag)
                region += AsciiUpper(c);
        }
        ++part;
        start = end + 1;
    }
    if (lang.size() < 2 || lang.size() > 3) return 0;

    if (lang == "zh" && region.empty()) {
        if (EqualsNoCase(script, "Hant")) return 1028;
        if (EqualsNoCase(script, "Hans")) return 2052;
    }
    std::uint16_t id = LookupLocale(lang, region);
    if (lang == "sr" && (EqualsNoCase(script, "Latn") || EqualsNoCase(modifier, "latin")))
        id = (id == 7194) ? 6170 : 2074;
    return id;
}

std::uint16_t LangIdFromLocaleEnv(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value == nullptr || value[0] == '\0') continue;
        std::uint16_t id = LangIdFromLocaleName(value);
        return id != 0 ? id : 1033;
    }
    return 1033;
}

const char* UserLangCode() {
    static const char* const code = LangCodeFromId(UserUiLanguageId());
    return code;
}

} // namespace tvd
