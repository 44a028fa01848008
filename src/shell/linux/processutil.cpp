#include "shell/processutil.h"

namespace tvd {

// The window program's process helpers exist on Windows only; the command-line tool runs
// nothing and opens no browser.
ErrorCode RunAndWait(const std::string&, const std::string&, const std::string&,
                     std::uint32_t* exitCode) {
    if (exitCode) *exitCode = 0;
    return err::kNotSupported;
}

ErrorCode OpenWebPage(const std::string&) {
    return err::kNotSupported;
}

} // namespace tvd
