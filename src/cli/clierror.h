// How a command tells that it failed.
#pragma once
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "foundation/errorcodes.h"

namespace tvd::cli {

// "tarvikdorn: MESSAGE[: REASON]" on standard error and, with --json, the same as a document on
// standard output ({"error": {...}}), so that a script reading JSON always gets one. REASON is
// the system's wording of `code` (none for 0). Returns `status`.
int Fail(const Options& o, std::FILE* out, std::FILE* err, int status, const std::string& message,
         ErrorCode code = err::kSuccess);

// Flushes `out` and tells whether everything written to it arrived.
bool OutputWritten(std::FILE* out);

} // namespace tvd::cli
