// The optimization's files on Linux: the folder made with mkdir (never an existing one) and held
// open O_NOFOLLOW, files made O_EXCL | O_NOFOLLOW relative to it, and FITRIM on the volume.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>
#include <vector>

#include "jobs/storagetrimutil.h"

namespace tvd {

struct TrimFolder::Impl {
    int rootFd = -1;
    int dirFd = -1;
    std::string name;
    int fileFd = -1;
    std::vector<std::string> made; // names of the files this run created
};

namespace {

ErrorCode LastErrno() {
    return ErrorFromErrno(errno);
}

std::string JoinPath(const std::string& root, const std::string& name) {
    std::string path = root.empty() ? std::string(".") : root;
    if (path.back() != '/') path += '/';
    return path + name;
}

} // namespace

ErrorCode TrimVolumeSpace(const std::string& root, std::uint64_t& freeBytes) {
    struct statvfs st {};
    if (root.empty()) return err::kInvalidParameter;
    if (::statvfs(root.c_str(), &st) != 0) return LastErrno();
    const std::uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    freeBytes = static_cast<std::uint64_t>(st.f_bavail) * unit;
    return err::kSuccess;
}

TrimFolder::TrimFolder() = default;

TrimFolder::~TrimFolder() {
    RemoveAll();
}

ErrorCode TrimFolder::Create(const std::string& root) {
    RemoveAll();
    if (root.empty()) return err::kInvalidParameter;
    // The root itself is opened without following a final link, and the folder is made
    // relative to that descriptor, so no later rename of a path component redirects us.
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) return LastErrno();
    auto impl = std::make_unique<Impl>();
    ErrorCode result = err::kAlreadyExists;
    for (std::uint32_t n = 0; n <= kTrimFolderTries; ++n) {
        const std::string name = n == 0 ? std::string(kTrimFolderName)
                                        : std::string(kTrimFolderName) + "." + std::to_string(n);
        // mkdir never follows a link: an entry of that name, whatever it is, is someone else's.
        if (::mkdirat(rootFd, name.c_str(), 0700) != 0) {
            if (errno == EEXIST) continue;
            result = LastErrno();
            break;
        }
        impl->dirFd =
            ::openat(rootFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (impl->dirFd < 0) {
            result = errno == ELOOP || errno == ENOTDIR ? err::kAccessDenied : LastErrno();
            break;
        }
        path_ = JoinPath(root, name);
        impl->name = name;
        result = err::kSuccess;
        break;
    }
    if (result != err::kSuccess) {
        ::close(rootFd);
        return result;
    }
    impl->rootFd = rootFd;
    impl_ = std::move(impl);
    return err::kSuccess;
}

ErrorCode TrimFolder::OpenFile(std::uint32_t index) {
    if (!impl_ || impl_->dirFd < 0) return err::kInvalidHandle;
    if (impl_->fileFd >= 0) return err::kInvalidParameter;
    const std::string name = std::to_string(index) + ".tmp";
    const int fd = ::openat(impl_->dirFd, name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return LastErrno();
    impl_->fileFd = fd;
    impl_->made.push_back(name);
    return err::kSuccess;
}

ErrorCode TrimFolder::Write(ByteView data) {
    if (!impl_ || impl_->fileFd < 0) return err::kInvalidHandle;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(impl_->fileFd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LastErrno();
        if (n == 0) return err::kHandleEof;
        done += static_cast<std::size_t>(n);
    }
    return err::kSuccess;
}

ErrorCode TrimFolder::CloseFile() {
    if (!impl_ || impl_->fileFd < 0) return err::kSuccess;
    // The blocks must reach the file system for their later release to mean anything, and a
    // delayed write error shows only here.
    ErrorCode e = ::fsync(impl_->fileFd) == 0 ? err::kSuccess : LastErrno();
    if (e == err::kInvalidParameter) e = err::kSuccess; // a file system without fsync
    if (::close(impl_->fileFd) != 0 && e == err::kSuccess) e = LastErrno();
    impl_->fileFd = -1;
    return e;
}

void TrimFolder::RemoveAll() {
    if (!impl_) return;
    if (impl_->fileFd >= 0) ::close(impl_->fileFd);
    impl_->fileFd = -1;
    for (const std::string& name : impl_->made)
        ::unlinkat(impl_->dirFd, name.c_str(), 0);
    ::close(impl_->dirFd);
    // Only an empty folder goes (an entry someone else put there keeps it), and only by the
    // name it was made under in the root it was made in: a link put in its place is not a
    // folder and stays.
    if (::unlinkat(impl_->rootFd, impl_->name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT)
        path_.clear();
    ::close(impl_->rootFd);
    impl_.reset();
}

ErrorCode TrimFreeSpace(const std::string& root, std::uint64_t& trimmedBytes) {
    trimmedBytes = 0;
    if (root.empty()) return err::kInvalidParameter;
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return LastErrno();
    // Blocks of files deleted a moment ago are free only once the journal has committed; until
    // then the trim would pass them by.
    ::syncfs(fd);
    fstrim_range range{};
    range.start = 0;
    range.len = ULLONG_MAX;
    range.minlen = 0;
    const int rc = ::ioctl(fd, FITRIM, &range);
    const int saved = errno;
    ::close(fd);
    if (rc != 0) return ErrorFromErrno(saved);
    trimmedBytes = range.len;
    return err::kSuccess;
}

} // namespace tvd
