// The user's interface language from the POSIX locale variables.
#include "foundation/langutil.h"

#include <cstdlib>

namespace tvd {

std::uint16_t UserUiLanguageId() {
    static const std::uint16_t id =
        LangIdFromLocaleEnv(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
    return id;
}

} // namespace tvd
