#include "foundation/langutil.h"

#include <windows.h>

namespace tvd {

std::uint16_t UserUiLanguageId() {
    static const std::uint16_t id = GetUserDefaultUILanguage();
    return id;
}

} // namespace tvd
