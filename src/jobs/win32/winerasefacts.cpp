// Windows tells a disk's use through its volumes, which the erase locks and dismounts; until
// that is in place the real back end cannot vouch for a disk, and the erase refuses it.
#include "jobs/fundiskeraseutil.h"

namespace tvd {

ErrorCode NativeEraseFacts(const std::string& path, EraseDiskFacts& facts) {
    (void)path;
    facts = EraseDiskFacts{};
    return err::kNotSupported;
}

// Windows sends the sanitize to one disk; which other disks share its controller is not known
// here, so the refusal rests on that disk's own check.
ErrorCode NativeSanitizeSiblings(const std::string& path, std::vector<std::string>& siblings) {
    (void)path;
    siblings.clear();
    return err::kNotSupported;
}

// The system caches no blocks of a raw disk handle that an erase would leave stale.
ErrorCode NativeFlushDiskBuffers(const std::string& path) {
    (void)path;
    return err::kNotSupported;
}

} // namespace tvd
