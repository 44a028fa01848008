#include "net/weburlutil.h"

namespace tvd {

// This process runs elevated: its own ShellExecute would start the browser as administrator
// through associations users can change. The address goes to the user's unelevated shell, which
// this build does not have yet.
ErrorCode OpenSafeBrowserUrl(const std::string& url) {
    if (!IsSafeBrowserUrl(url)) return err::kInvalidParameter;
    return err::kNotSupported;
}

} // namespace tvd
