// Opens a web page in the user's own, unelevated desktop shell: the elevated program never
// starts a browser itself (associations under HKCU would run as administrator).
#pragma once
#include <string>

#include "foundation/errorcodes.h"

namespace tvd::win {

// kInvalidParameter for an address that is not a well-formed https address; kNotSupported when
// there is no desktop shell to ask.
ErrorCode OpenWebPageUnelevated(const std::string& address);

} // namespace tvd::win
