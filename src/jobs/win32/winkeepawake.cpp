#include <windows.h>

#include "jobs/clkernelbasicjob.h"

namespace tvd {

ErrorCode KeepAwake(bool on) {
    // ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED | ES_AWAYMODE_REQUIRED, or
    // ES_CONTINUOUS alone to let the system sleep again.
    const EXECUTION_STATE state = on ? 0x80000043u : 0x80000000u;
    if (SetThreadExecutionState(state) == 0)
        return GetLastError() ? GetLastError() : err::kGenFailure;
    return err::kSuccess;
}

} // namespace tvd
