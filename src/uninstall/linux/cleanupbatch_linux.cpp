#include "uninstall/cleanupbatch.h"

namespace tvd::uninstall {

// Nothing is installed on Linux by an installer, so there is nothing to clean up after.
ErrorCode WriteAndStartCleanupBatch(const std::u16string&, const std::u16string&) {
    return err::kNotSupported;
}

} // namespace tvd::uninstall
