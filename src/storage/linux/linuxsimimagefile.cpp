// The image file calls of the simulated drives on Linux: pread/pwrite at explicit offsets,
// ftruncate for sparse growth, hole punching for zeroing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "storage/sim/simimagefile.h"

namespace tvd {

namespace {
int Fd(std::intptr_t native) {
    return static_cast<int>(native);
}
} // namespace

ErrorCode SimImageFile::Open(const std::string& path, bool write) {
    Close();
    if (path.empty()) return err::kInvalidParameter;
    int fd = -1;
    if (write) {
        fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        writable_ = fd >= 0;
    }
    // Non-blocking so that a FIFO in the image's place cannot hang the open.
    if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return ErrorFromErrno(errno);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        writable_ = false;
        return err::kFileNotFound;
    }
    native_ = fd;
    return err::kSuccess;
}

ErrorCode SimImageFile::Create(const std::string& path) {
    Close();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return ErrorFromErrno(errno);
    native_ = fd;
    writable_ = true;
    return err::kSuccess;
}

void SimImageFile::Close() {
    if (native_ != kNoFile) close(Fd(native_));
    native_ = kNoFile;
    writable_ = false;
}

ErrorCode SimImageFile::Size(std::uint64_t& bytes) const {
    if (native_ == kNoFile) return err::kInvalidHandle;
    struct stat st {};
    if (fstat(Fd(native_), &st) != 0) return ErrorFromErrno(errno);
    bytes = static_cast<std::uint64_t>(st.st_size);
    return err::kSuccess;
}

ErrorCode SimImageFile::SetSize(std::uint64_t size) {
    if (native_ == kNoFile) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    if (ftruncate(Fd(native_), static_cast<off_t>(size)) != 0) return ErrorFromErrno(errno);
    return err::kSuccess;
}

ErrorCode SimImageFile::ReadAt(std::uint64_t offset, MutableByteView data) const {
    if (native_ == kNoFile) return err::kInvalidHandle;
    if (!simimage::OffsetFits(offset, data.size())) return err::kInvalidParameter;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            pread(Fd(native_), data.data() + done, std::min(data.size() - done, simimage::kPiece),
                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ErrorFromErrno(errno);
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    std::fill(data.begin() + static_cast<std::ptrdiff_t>(done), data.end(), std::uint8_t(0));
    return err::kSuccess;
}

ErrorCode SimImageFile::WriteAt(std::uint64_t offset, ByteView data) {
    if (native_ == kNoFile) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    if (!simimage::OffsetFits(offset, data.size())) return err::kInvalidParameter;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            pwrite(Fd(native_), data.data() + done, std::min(data.size() - done, simimage::kPiece),
                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ErrorFromErrno(errno);
        if (n == 0) return err::kWriteFault;
        done += static_cast<std::size_t>(n);
    }
    return err::kSuccess;
}

ErrorCode SimImageFile::PunchHole(std::uint64_t offset, std::uint64_t length) {
#ifdef FALLOC_FL_PUNCH_HOLE
    if (fallocate(Fd(native_), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                  static_cast<off_t>(offset), static_cast<off_t>(length)) == 0)
        return err::kSuccess;
#else
    (void)offset;
    (void)length;
#endif
    return err::kNotSupported;
}

} // namespace tvd
