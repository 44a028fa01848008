#include "foundation/langutil.h"

#include <gtest/gtest.h>

#include <string>

namespace tvd {
namespace {

TEST(LangUtil, CodeToIdentifier) {
    struct Row {
        const char* code;
        std::uint16_t id;
    } rows[] = {
        {"ENU", 1033}, {"ENG", 2057}, {"CHT", 1028}, {"CHS", 2052},  {"ESN", 3082},
        {"PTG", 2070}, {"SRB", 3098}, {"VIT", 1066}, {"HEB", 1037},  {"deu", 1031},
        {"", 2057},    {"XYZ", 2057}, {"EN", 2057},  {"ENUS", 2057},
    };
    for (const auto& r : rows)
        EXPECT_EQ(LangIdFromCode(r.code), r.id) << r.code;
}

TEST(LangUtil, IdentifierToCodeAcceptsSublanguages) {
    struct Row {
        std::uint16_t id;
        const char* code;
    } rows[] = {
        {0x0409, "ENG"}, // 1033: ENU selects it, but it maps back to ENG
        {2057, "ENG"},   {13321, "ENG"}, {1025, "ARA"},  {2049, "ARA"}, {16385, "ARA"},
        {17409, "ENG"}, // Arabic primary, sublanguage 17: none
        {1028, "CHT"},   {3076, "CHT"},  {2052, "CHS"},  {4100, "CHS"}, {5124, "CHS"},
        {1031, "DEU"},   {3079, "DEU"},  {5127, "DEU"},  {6151, "ENG"}, {1034, "ESN"},
        {3082, "ESN"},   {20490, "ESN"}, {21514, "ENG"}, {1035, "ENG"}, // Finnish
        {1036, "FRA"},   {6156, "FRA"},  {7180, "ENG"},  {1040, "ITA"}, {2064, "ITA"},
        {1043, "NLD"},   {2067, "NLD"},  {1046, "PTG"},  {2070, "PTG"}, {1050, "HRV"},
        {4122, "HRV"},   {1053, "SVE"},  {2077, "SVE"},  {2074, "SRB"}, {3098, "SRB"},
        {6170, "SRB"},   {7194, "SRB"},  {10266, "ENG"}, {1041, "JPN"}, {1042, "KOR"},
        {1049, "RUS"},   {1066, "VIT"},  {1037, "HEB"},  {0, "ENG"},    {0xFFFF, "ENG"},
    };
    for (const auto& r : rows)
        EXPECT_STREQ(LangCodeFromId(r.id), r.code) << r.id;
}

TEST(LangUtil, Charsets) {
    struct Row {
        std::uint16_t id;
        std::uint8_t charset;
    } rows[] = {
        {1025, 178}, {1026, 238}, {1029, 238}, {1045, 238}, {1048, 238}, {1050, 238}, {1051, 238},
        {1058, 238}, {1060, 238}, {3098, 238}, {1028, 136}, {1032, 161}, {1037, 177}, {1041, 128},
        {1042, 129}, {1049, 204}, {1054, 222}, {1055, 162}, {1061, 186}, {1062, 186}, {1063, 186},
        {1066, 163}, {2052, 134}, {1033, 1},   {2074, 1},   {3076, 1},   {0, 1},
    };
    for (const auto& r : rows)
        EXPECT_EQ(CharsetFromLangId(r.id), r.charset) << r.id;
}

TEST(LangUtil, LocaleNames) {
    struct Row {
        const char* locale;
        std::uint16_t id;
    } rows[] = {
        {"en_US", 1033},       {"en_US.UTF-8", 1033},
        {"en_GB.utf8", 2057},  {"en-GB", 2057},
        {"en", 1033},          {"EN_gb", 2057},
        {"de_DE", 1031},       {"de_AT.UTF-8", 3079},
        {"de_CH", 2055},       {"de_BE", 1031},
        {"pt_BR", 1046},       {"pt_PT", 2070},
        {"pt", 2070},          {"zh_TW", 1028},
        {"zh_CN", 2052},       {"zh-Hant", 1028},
        {"zh-Hans-HK", 3076},  {"zh-Hant-TW", 1028},
        {"sr_RS", 3098},       {"sr_RS@latin", 2074},
        {"sr-Latn-RS", 2074},  {"sr_BA", 7194},
        {"sr_BA@latin", 6170}, {"es_ES", 3082},
        {"es_MX", 2058},       {"es_PR", 20490},
        {"ar_EG", 3073},       {"ja_JP.eucJP", 1041},
        {"fr_CA", 3084},       {"sv_FI", 2077},
        {"C", 1033},           {"POSIX", 1033},
        {"C.UTF-8", 1033},     {"", 0},
        {"xx_YY", 0},          {"e", 0},
        {"english", 0},
    };
    for (const auto& r : rows)
        EXPECT_EQ(LangIdFromLocaleName(r.locale), r.id) << '"' << r.locale << '"';
}

TEST(LangUtil, LocaleVariablePrecedence) {
    struct Row {
        const char *lcAll, *lcMessages, *lang;
        std::uint16_t id;
    } rows[] = {
        {"de_DE.UTF-8", "fr_FR", "ja_JP", 1031},
        {nullptr, "fr_FR", "ja_JP", 1036},
        {"", "", "ja_JP", 1041}, // empty counts as unset
        {nullptr, nullptr, nullptr, 1033},
        {"C", nullptr, "de_DE", 1033}, // LC_ALL=C wins
        {nullptr, nullptr, "xx_YY", 1033},
    };
    for (const auto& r : rows)
        EXPECT_EQ(LangIdFromLocaleEnv(r.lcAll, r.lcMessages, r.lang), r.id)
            << (r.lcAll ? r.lcAll : "-") << " " << (r.lcMessages ? r.lcMessages : "-") << " "
            << (r.lang ? r.lang : "-");
}

TEST(LangUtil, UserCodeFollowsUserLanguage) {
    EXPECT_STREQ(UserLangCode(), LangCodeFromId(UserUiLanguageId()));
    EXPECT_EQ(UserLangCode(), UserLangCode()); // cached: the same text every time
}

} // namespace
} // namespace tvd
