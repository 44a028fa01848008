// Registry values written in both views: the 64-bit view first, then the process's default view,
// so that 32- and 64-bit readers of the value agree. Keys are created as needed.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/regutil.h"

namespace tvd {

// Success only when both views took the value; otherwise the first failure (a write that
// failed in one view must not be reported as done).
ErrorCode RegWriteDwordBoth(RegRoot root, const std::string& subKey, const std::string& value,
                            std::uint32_t number);
ErrorCode RegWriteStringBoth(RegRoot root, const std::string& subKey, const std::string& value,
                             const char* text);

} // namespace tvd
