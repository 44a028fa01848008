// The simulated drive's image file through POSIX calls: pread/pwrite at explicit offsets, paths
// walked folder by folder with O_NOFOLLOW.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "foundation/errorcodes.h"
#include "storage/sim/simimagefile.h"

namespace tvd {

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }
    void Reset(int fd) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// Why `name` in `dir` could not be opened: a symbolic link is named as such.
ErrorCode OpenFailure(int dir, const std::string& name, int error) {
    struct stat st {};
    if ((error == ELOOP || error == ENOTDIR || error == EEXIST) &&
        fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        return kSimImageLink;
    return ErrorFromErrno(error);
}

// Opens the last part of `relative` below `folder` with `flags`, walking the folders one by one
// without following a link anywhere on the way.
ErrorCode OpenBeneath(const std::string& folder, const std::string& relative, int flags, int& out) {
    out = -1;
    const std::vector<std::string> parts = simimage::PathParts(relative);
    if (parts.empty() || folder.empty()) return err::kInvalidParameter;
    Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0) return ErrorFromErrno(errno);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        const int next =
            openat(dir.Get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) return OpenFailure(dir.Get(), parts[i], errno);
        dir.Reset(next);
    }
    // Non-blocking so that a FIFO in the image's place cannot hang the open.
    const int fd =
        openat(dir.Get(), parts.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) return OpenFailure(dir.Get(), parts.back(), errno);
    out = fd;
    return err::kSuccess;
}

} // namespace

ErrorCode SimImageFile::Open(const std::string& folder, const std::string& relative, bool write) {
    Close();
    int raw = -1;
    ErrorCode e = err::kAccessDenied;
    if (write) {
        e = OpenBeneath(folder, relative, O_RDWR, raw);
        writable_ = e == err::kSuccess;
    }
    if (e == err::kAccessDenied) e = OpenBeneath(folder, relative, O_RDONLY, raw);
    if (e) return e;
    Fd fd(raw);
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        writable_ = false;
        return err::kFileNotFound;
    }
    file_ = fd.Release();
    return err::kSuccess;
}

ErrorCode SimImageFile::Create(const std::string& folder, const std::string& relative) {
    Close();
    int fd = -1;
    if (const ErrorCode e = OpenBeneath(folder, relative, O_RDWR | O_CREAT | O_EXCL, fd)) return e;
    file_ = fd;
    writable_ = true;
    return err::kSuccess;
}

void SimImageFile::Close() {
    if (file_ >= 0) close(file_);
    file_ = -1;
    writable_ = false;
}

ErrorCode SimImageFile::Size(std::uint64_t& bytes) const {
    if (file_ < 0) return err::kInvalidHandle;
    struct stat st {};
    if (fstat(file_, &st) != 0) return ErrorFromErrno(errno);
    bytes = static_cast<std::uint64_t>(st.st_size);
    return err::kSuccess;
}

ErrorCode SimImageFile::SetSize(std::uint64_t size) {
    if (file_ < 0) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    if (ftruncate(file_, static_cast<off_t>(size)) != 0) return ErrorFromErrno(errno);
    return err::kSuccess;
}

ErrorCode SimImageFile::ReadAt(std::uint64_t offset, MutableByteView data) const {
    if (file_ < 0) return err::kInvalidHandle;
    if (!simimage::OffsetFits(offset, data.size())) return err::kInvalidParameter;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            pread(file_, data.data() + done, std::min(data.size() - done, simimage::kPiece),
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
    if (file_ < 0) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    if (!simimage::OffsetFits(offset, data.size())) return err::kInvalidParameter;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            pwrite(file_, data.data() + done, std::min(data.size() - done, simimage::kPiece),
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
    if (fallocate(file_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                  static_cast<off_t>(length)) != 0)
        return ErrorFromErrno(errno);
    return err::kSuccess;
#else
    (void)offset;
    (void)length;
    return err::kNotSupported;
#endif
}

} // namespace tvd
