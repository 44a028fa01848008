// Linux only: the root-only folder rule behind AdminOnlyFolder().
#pragma once
#include <string>

#include "foundation/errorcodes.h"

namespace tvd {

// The rule behind AdminOnlyFolder() for any absolute path: creates the missing folders
// (0755) and accepts the result only when it and every folder above it are root-owned
// directories that group and others cannot write (a sticky folder above is accepted).
// `resolved` gets the path with symbolic links resolved. kAccessDenied when the caller is not
// root or a check fails.
ErrorCode PrepareRootOnlyFolder(const std::string& path, std::string& resolved);

} // namespace tvd
