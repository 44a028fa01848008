// Linux has no WMI: no thread is started and every query answers none; the report takes the
// operating system's caption and the time zone from their own sources.
#include "report/wmithreadutil.h"

namespace tvd {

WmiThreadHooks PlatformWmiHooks() {
    return {};
}

std::optional<std::u16string> WmiQueryString(const std::u16string&, const std::u16string&,
                                             const std::u16string&, const std::u16string&) {
    return std::nullopt;
}

} // namespace tvd
