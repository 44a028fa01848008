// Texts of Windows error numbers, in a chosen language.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/errorcodes.h"

namespace tvd {

// Windows: FormatMessage from the system, in the given language, else US English, else the
// user's language; language 0 means the neutral language. Linux: the engine's own English texts
// for the numbers it uses, "Error N" otherwise. `charset` gets the character set of the language
// used. Never empty.
std::string ErrorText(ErrorCode code, std::uint16_t langId = 0, std::uint8_t* charset = nullptr);
std::u16string ErrorTextW(ErrorCode code, std::uint16_t langId = 0,
                          std::uint8_t* charset = nullptr);

// The reason as this system's own tools word it, for the command-line tool: the errno text on
// Linux for the numbers that come from an errno, ErrorText otherwise (and always on Windows).
std::string SystemErrorText(ErrorCode code);

} // namespace tvd
