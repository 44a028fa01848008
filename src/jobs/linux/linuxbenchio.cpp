// The benchmark's files on Linux: io_uring through liburing on a file opened O_DIRECT (and
// O_DSYNC for writing), relative to the test folder's descriptor, never through a link.
#include <fcntl.h>
#include <linux/fs.h>
#include <liburing.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "jobs/benchioutil.h"

namespace tvd {

struct BenchFolder::Impl {
    int dirFd = -1;
    bool created = false;
};

struct BenchFileWriter::Impl {
    int fd = -1;
};

namespace {

ErrorCode LastErrno() {
    return ErrorFromErrno(errno);
}

// The transfer's own result: negative errno, or the bytes moved.
ErrorCode ResultCode(int res, std::size_t wanted) {
    if (res < 0) return ErrorFromErrno(-res);
    if (static_cast<std::size_t>(res) != wanted) return err::kHandleEof;
    return err::kSuccess;
}

class UringFile final : public BenchIoFile {
public:
    ~UringFile() override {
        if (ringUp_) {
            // Nothing may complete into freed slot buffers: wait for what is still in flight.
            for (std::uint32_t s = 0; s < state_.size(); ++s)
                while (state_[s] == kPending && WaitAny(1000) && Harvest() >= 0) {
                }
            io_uring_queue_exit(&ring_);
        }
        if (fd_ >= 0) ::close(fd_);
    }

    ErrorCode Open(int dirFd, bool write, bool sequential, std::uint32_t depth) {
        if (depth == 0) return err::kInvalidParameter;
        const int flags =
            (write ? O_WRONLY | O_DSYNC : O_RDONLY) | O_DIRECT | O_CLOEXEC | O_NOFOLLOW;
        fd_ = ::openat(dirFd, kBenchFileName, flags);
        if (fd_ < 0) return LastErrno();
        ::posix_fadvise(fd_, 0, 0, sequential ? POSIX_FADV_SEQUENTIAL : POSIX_FADV_RANDOM);
        write_ = write;
        state_.assign(depth, kFree);
        result_.assign(depth, 0);
        size_.assign(depth, 0);
        // A system that refuses io_uring (seccomp, io_uring_disabled) still gets a measurement,
        // one request at a time, and says so through Method().
        ringUp_ = io_uring_queue_init(depth, &ring_, 0) == 0;
        return err::kSuccess;
    }

    ErrorCode Start(std::uint32_t slot, std::uint64_t offset, MutableByteView data) override {
        if (slot >= state_.size() || state_[slot] == kPending) return err::kInvalidParameter;
        if (!ringUp_) {
            const ssize_t n = write_ ? ::pwrite(fd_, data.data(), data.size(), off_t(offset))
                                     : ::pread(fd_, data.data(), data.size(), off_t(offset));
            return n < 0 ? LastErrno() : ResultCode(int(n), data.size());
        }
        io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
        if (!sqe) return err::kNoSystemResources;
        if (write_)
            io_uring_prep_write(sqe, fd_, data.data(), unsigned(data.size()), offset);
        else
            io_uring_prep_read(sqe, fd_, data.data(), unsigned(data.size()), offset);
        io_uring_sqe_set_data64(sqe, slot);
        const int r = io_uring_submit(&ring_);
        if (r < 0) return ErrorFromErrno(-r);
        state_[slot] = kPending;
        size_[slot] = data.size();
        return err::kIoPending;
    }

    ErrorCode Check(std::uint32_t slot) override {
        if (slot >= state_.size()) return err::kInvalidParameter;
        if (state_[slot] == kPending && Harvest() < 0) return err::kGenFailure;
        if (state_[slot] == kPending) return err::kIoIncomplete;
        if (state_[slot] != kCompleted) return err::kInvalidParameter;
        state_[slot] = kFree;
        return ResultCode(result_[slot], size_[slot]);
    }

    bool WaitAny(std::uint32_t ms) override {
        if (!ringUp_) return true;
        io_uring_cqe* cqe = nullptr;
        if (io_uring_peek_cqe(&ring_, &cqe) == 0 && cqe) return true;
        __kernel_timespec ts{};
        ts.tv_sec = ms / 1000;
        ts.tv_nsec = static_cast<long long>(ms % 1000) * 1000000;
        return io_uring_wait_cqe_timeout(&ring_, &cqe, &ts) == 0;
    }

    const char* Method() const override { return ringUp_ ? "io_uring" : "synchronous"; }

private:
    enum State : std::uint8_t { kFree, kPending, kCompleted };

    // Takes every completion that has arrived; its slot is marked completed with its result.
    int Harvest() {
        io_uring_cqe* cqe = nullptr;
        int got = 0;
        while (io_uring_peek_cqe(&ring_, &cqe) == 0 && cqe) {
            const std::uint64_t slot = io_uring_cqe_get_data64(cqe);
            if (slot < state_.size() && state_[slot] == kPending) {
                state_[slot] = kCompleted;
                result_[slot] = cqe->res;
            }
            io_uring_cqe_seen(&ring_, cqe);
            ++got;
        }
        return got;
    }

    int fd_ = -1;
    bool write_ = false;
    bool ringUp_ = false;
    io_uring ring_{};
    std::vector<State> state_;
    std::vector<int> result_;
    std::vector<std::size_t> size_;
};

} // namespace

std::string BenchFolderPath(const std::string& volume) {
    std::string path = volume.empty() ? std::string(".") : volume;
    if (path.back() != '/') path += '/';
    return path + "VornaTarvikdornTemp";
}

ErrorCode BenchVolumeSpace(const std::string& volume, std::uint64_t& freeBytes,
                           std::uint64_t& totalBytes) {
    struct statvfs st {};
    if (::statvfs(volume.c_str(), &st) != 0) return LastErrno();
    const std::uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    freeBytes = static_cast<std::uint64_t>(st.f_bavail) * unit;
    totalBytes = static_cast<std::uint64_t>(st.f_blocks) * unit;
    return err::kSuccess;
}

BenchFolder::BenchFolder() = default;

BenchFolder::~BenchFolder() {
    if (impl_ && impl_->dirFd >= 0) ::close(impl_->dirFd);
}

ErrorCode BenchFolder::Create(const std::string& path) {
    path_ = path;
    impl_ = std::make_unique<Impl>();
    if (::mkdir(path.c_str(), 0700) == 0)
        impl_->created = true;
    else if (errno != EEXIST)
        return LastErrno();
    // O_NOFOLLOW: a link put in the folder's place is refused, not followed.
    impl_->dirFd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (impl_->dirFd < 0)
        return errno == ELOOP || errno == ENOTDIR ? err::kAccessDenied : LastErrno();
    return err::kSuccess;
}

void BenchFolder::RemoveAll() {
    if (!impl_ || impl_->dirFd < 0) return;
    ::unlinkat(impl_->dirFd, kBenchFileName, 0);
    ::close(impl_->dirFd);
    impl_->dirFd = -1;
    // Only an empty folder goes: anything a user keeps there stays.
    ::rmdir(path_.c_str());
}

BenchFileWriter::BenchFileWriter() = default;

BenchFileWriter::~BenchFileWriter() {
    Close();
}

ErrorCode BenchFileWriter::Create(BenchFolder& folder) {
    Close();
    BenchFolder::Impl* dir = folder.Get();
    if (!dir || dir->dirFd < 0) return err::kInvalidHandle;
    // A leftover file (or a link planted in its place) is removed, never written through.
    if (::unlinkat(dir->dirFd, kBenchFileName, 0) != 0 && errno != ENOENT) return LastErrno();
    impl_ = std::make_unique<Impl>();
    impl_->fd =
        ::openat(dir->dirFd, kBenchFileName,
                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_DIRECT | O_DSYNC, 0600);
    if (impl_->fd < 0) return LastErrno();
    // Compression would flatter the random data's rates on file systems that compress.
    int flags = 0;
    if (::ioctl(impl_->fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_COMPR_FL)) {
        flags = (flags & ~FS_COMPR_FL) | FS_NOCOMP_FL;
        ::ioctl(impl_->fd, FS_IOC_SETFLAGS, &flags);
    }
    return err::kSuccess;
}

ErrorCode BenchFileWriter::Write(ByteView data) {
    if (!impl_ || impl_->fd < 0) return err::kInvalidHandle;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(impl_->fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LastErrno();
        if (n == 0) return err::kHandleEof;
        done += static_cast<std::size_t>(n);
    }
    return err::kSuccess;
}

ErrorCode BenchFileWriter::Close() {
    if (!impl_ || impl_->fd < 0) return err::kSuccess;
    const int r = ::close(impl_->fd);
    impl_->fd = -1;
    return r == 0 ? err::kSuccess : LastErrno();
}

std::unique_ptr<BenchIoFile> OpenBenchIoFile(BenchFolder& folder, bool write, bool sequential,
                                             std::uint32_t depth, ErrorCode& error) {
    BenchFolder::Impl* dir = folder.Get();
    if (!dir || dir->dirFd < 0) {
        error = err::kInvalidHandle;
        return nullptr;
    }
    auto file = std::make_unique<UringFile>();
    error = file->Open(dir->dirFd, write, sequential, depth);
    if (error != err::kSuccess) return nullptr;
    return file;
}

} // namespace tvd
