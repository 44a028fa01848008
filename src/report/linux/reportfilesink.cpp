#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "report/infowriteutil.h"

namespace tvd {

ErrorCode FileReportSink::Create(const std::string& path, bool exclusive) {
    Close();
    error_ = err::kSuccess;
    written_ = 0;
    // A link planted at the name is refused, never followed: the report may be written by root.
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) return ErrorFromErrno(errno);
    handle_ = fd;
    return err::kSuccess;
}

bool FileReportSink::Write(ByteView bytes) {
    if (handle_ < 0 || error_) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(static_cast<int>(handle_), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = n < 0 ? ErrorFromErrno(errno) : err::kWriteFault;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    written_ += done;
    return true;
}

ErrorCode FileReportSink::Close() {
    if (handle_ < 0) return error_;
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (::fsync(fd) != 0 && !error_ && errno != EINVAL && errno != EROFS)
        error_ = ErrorFromErrno(errno);
    if (::close(fd) != 0 && !error_) error_ = ErrorFromErrno(errno);
    return error_;
}

} // namespace tvd
