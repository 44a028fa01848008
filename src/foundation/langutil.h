// Language codes of the user interface: three-letter codes, Windows language identifiers and the
// character sets used to pick fonts.
#pragma once
#include <cstdint>
#include <string_view>

namespace tvd {

// Code → identifier; a missing or unknown code gives 2057.
std::uint16_t LangIdFromCode(std::string_view code);
// Identifier → code, accepting every sublanguage of the known languages; anything else "ENG".
const char* LangCodeFromId(std::uint16_t langId);
// Character set for fonts (1 = default).
std::uint8_t CharsetFromLangId(std::uint16_t langId);
// Locale name such as "de_DE.UTF-8" or "pt-BR" → language identifier, 0 when unknown.
std::uint16_t LangIdFromLocaleName(std::string_view locale);
// The POSIX precedence of the locale variables (LC_ALL, then LC_MESSAGES, then LANG; an unset or
// empty one is skipped) → identifier; 1033 when none is set, the first set one is "C" or
// "POSIX", or its language is unknown. Arguments may be null.
std::uint16_t LangIdFromLocaleEnv(const char* lcAll, const char* lcMessages, const char* lang);

// The user's UI language identifier (Windows: GetUserDefaultUILanguage; Linux: LC_ALL,
// LC_MESSAGES, LANG), and its code through the reverse mapping; both cached.
std::uint16_t UserUiLanguageId();
const char* UserLangCode();

} // namespace tvd
