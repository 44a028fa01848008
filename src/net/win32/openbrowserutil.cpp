#include "net/weburlutil.h"
#include "shell/processutil.h"

namespace tvd {

// This process runs elevated: its own ShellExecute would start the browser as administrator
// through associations users can change. The address goes to the user's unelevated desktop
// shell; without one nothing is opened.
ErrorCode OpenSafeBrowserUrl(const std::string& url) {
    if (!IsSafeBrowserUrl(url)) return err::kInvalidParameter;
    return OpenWebPage(url);
}

} // namespace tvd
