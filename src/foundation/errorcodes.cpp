#include "foundation/errorcodes.h"

#include <cerrno>

namespace tvd {

ErrorCode ErrorFromErrno(int e) {
    switch (e) {
    case 0:
        return err::kSuccess;
    case ENOENT:
        return err::kFileNotFound;
    case ENOTDIR:
        return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return err::kAccessDenied;
    case EBADF:
        return err::kInvalidHandle;
    case ENOMEM:
        return err::kNotEnoughMemory;
    case EEXIST:
        return err::kFileExists;
    case EINVAL:
        return err::kInvalidParameter;
    case EBUSY:
        return err::kSharingViolation;
    case ENOSPC:
        return 112; // ERROR_DISK_FULL
    case EIO:
        return err::kIoDevice;
    case ENOSYS:
    case ENOTSUP:
#if defined(EOPNOTSUPP) && EOPNOTSUPP != ENOTSUP
    case EOPNOTSUPP:
#endif
    case ENOTTY:
        return err::kNotSupported;
    case EPIPE:
        return err::kBrokenPipe;
    case ETIMEDOUT:
        return err::kTimeout;
    case ECANCELED:
        return err::kCancelled;
    case ENODEV:
    case ENXIO:
        return err::kFileNotFound;
    default:
        return err::kGenFailure;
    }
}

} // namespace tvd
