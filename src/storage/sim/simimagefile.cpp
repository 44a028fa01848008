#include "storage/sim/simimagefile.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>

#include "foundation/textconvutil.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace tvd {

namespace {
// Transfers in pieces that every platform call accepts in one go.
constexpr std::size_t kPiece = std::size_t(1) << 30;
constexpr std::size_t kZeroChunk = std::size_t(1) << 20;

bool OffsetFits(std::uint64_t offset, std::uint64_t length) {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return offset <= kMax && length <= kMax - offset;
}
} // namespace

SimImageFile::SimImageFile(SimImageFile&& o) noexcept : writable_(o.writable_) {
#ifdef _WIN32
    handle_ = std::exchange(o.handle_, nullptr);
#else
    fd_ = std::exchange(o.fd_, -1);
#endif
    o.writable_ = false;
}

SimImageFile& SimImageFile::operator=(SimImageFile&& o) noexcept {
    if (this != &o) {
        Close();
#ifdef _WIN32
        handle_ = std::exchange(o.handle_, nullptr);
#else
        fd_ = std::exchange(o.fd_, -1);
#endif
        writable_ = std::exchange(o.writable_, false);
    }
    return *this;
}

ErrorCode SimImageFile::Prepare(const std::string& folder, const std::string& relative,
                                std::uint64_t size, bool& created) {
    created = false;
    if (relative.empty() || !OffsetFits(0, size)) return err::kInvalidParameter;
    SimImageFile f;
    ErrorCode e = f.Open(folder, relative, true);
    if (e == err::kFileNotFound) {
        if ((e = f.Create(folder, relative)) != err::kSuccess) return e;
        created = true;
    } else if (e) {
        return e;
    }
    if (!f.Writable()) return err::kAccessDenied;
    std::uint64_t current = 0;
    if ((e = f.Size(current)) != err::kSuccess) return e;
    if (current >= size) return err::kSuccess;
    return f.SetSize(size);
}

namespace {

// The parts of an image path; the drive file's parser has already refused "..", roots and
// drive letters.
std::vector<std::string> PathParts(const std::string& relative) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find_first_of("/\\", start);
        if (end == std::string::npos) end = relative.size();
        std::string part = relative.substr(start, end - start);
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        start = end + 1;
    }
    return parts;
}

} // namespace

#ifdef _WIN32

namespace {

constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The image's full wide path, after checking that no folder on the way is a reparse point.
ErrorCode WidePathBeneath(const std::string& folder, const std::string& relative,
                          std::u16string& out) {
    const std::vector<std::string> parts = PathParts(relative);
    if (parts.empty() || folder.empty()) return err::kInvalidParameter;
    std::u16string path = Utf8ToUtf16(folder);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (path.back() != u'\\' && path.back() != u'/') path += u'\\';
        path += Utf8ToUtf16(parts[i]);
        if (i + 1 == parts.size()) break;
        const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str()));
        if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return kSimImageLink;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return err::kPathNotFound;
    }
    out = std::move(path);
    return err::kSuccess;
}

// Opens the reparse point itself, never its target, and refuses it.
ErrorCode OpenNoLink(const std::u16string& path, DWORD access, DWORD disposition, HANDLE& out) {
    out = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), access, kShare, nullptr,
                      disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (out == INVALID_HANDLE_VALUE) return GetLastError();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(out, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        const bool link = info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
        CloseHandle(out);
        out = INVALID_HANDLE_VALUE;
        return link ? kSimImageLink : err::kFileNotFound;
    }
    return err::kSuccess;
}

} // namespace

ErrorCode SimImageFile::Open(const std::string& folder, const std::string& relative, bool write) {
    Close();
    std::u16string path;
    if (const ErrorCode e = WidePathBeneath(folder, relative, path)) return e;
    HANDLE h = INVALID_HANDLE_VALUE;
    ErrorCode e = err::kAccessDenied;
    if (write) {
        e = OpenNoLink(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, h);
        writable_ = e == err::kSuccess;
    }
    if (e == err::kAccessDenied || e == err::kSharingViolation || e == err::kWriteProtect)
        e = OpenNoLink(path, GENERIC_READ, OPEN_EXISTING, h);
    if (e) return e;
    handle_ = h;
    return err::kSuccess;
}

ErrorCode SimImageFile::Create(const std::string& folder, const std::string& relative) {
    Close();
    std::u16string path;
    if (const ErrorCode e = WidePathBeneath(folder, relative, path)) return e;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (const ErrorCode e = OpenNoLink(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, h)) return e;
    handle_ = h;
    writable_ = true;
    // Sparse where the file system knows the notion; elsewhere the size alone is set.
    DWORD returned = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    return err::kSuccess;
}

void SimImageFile::Close() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    writable_ = false;
}

bool SimImageFile::IsOpen() const {
    return handle_ != nullptr;
}

ErrorCode SimImageFile::Size(std::uint64_t& bytes) const {
    if (!handle_) return err::kInvalidHandle;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(static_cast<HANDLE>(handle_), &size)) return GetLastError();
    bytes = static_cast<std::uint64_t>(size.QuadPart);
    return err::kSuccess;
}

ErrorCode SimImageFile::SetSize(std::uint64_t size) {
    if (!handle_) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(static_cast<HANDLE>(handle_), FileEndOfFileInfo, &info,
                                    sizeof info))
        return GetLastError();
    return err::kSuccess;
}

ErrorCode SimImageFile::ReadAt(std::uint64_t offset, MutableByteView data) const {
    if (!handle_) return err::kInvalidHandle;
    if (!OffsetFits(offset, data.size())) return err::kInvalidParameter;
    std::size_t done = 0;
    while (done < data.size()) {
        OVERLAPPED ov{};
        const std::uint64_t at = offset + done;
        ov.Offset = static_cast<DWORD>(at);
        ov.OffsetHigh = static_cast<DWORD>(at >> 32);
        const auto want = static_cast<DWORD>(std::min(data.size() - done, kPiece));
        DWORD got = 0;
        if (!ReadFile(static_cast<HANDLE>(handle_), data.data() + done, want, &got, &ov)) {
            const DWORD e = GetLastError();
            if (e != ERROR_HANDLE_EOF) return e;
            got = 0;
        }
        if (got == 0) break;
        done += got;
    }
    std::fill(data.begin() + static_cast<std::ptrdiff_t>(done), data.end(), std::uint8_t(0));
    return err::kSuccess;
}

ErrorCode SimImageFile::WriteAt(std::uint64_t offset, ByteView data) {
    if (!handle_) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    if (!OffsetFits(offset, data.size())) return err::kInvalidParameter;
    std::size_t done = 0;
    while (done < data.size()) {
        OVERLAPPED ov{};
        const std::uint64_t at = offset + done;
        ov.Offset = static_cast<DWORD>(at);
        ov.OffsetHigh = static_cast<DWORD>(at >> 32);
        const auto want = static_cast<DWORD>(std::min(data.size() - done, kPiece));
        DWORD put = 0;
        if (!WriteFile(static_cast<HANDLE>(handle_), data.data() + done, want, &put, &ov))
            return GetLastError();
        if (put == 0) return err::kWriteFault;
        done += put;
    }
    return err::kSuccess;
}

#else

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
    const std::vector<std::string> parts = PathParts(relative);
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
    fd_ = fd.Release();
    return err::kSuccess;
}

ErrorCode SimImageFile::Create(const std::string& folder, const std::string& relative) {
    Close();
    int fd = -1;
    if (const ErrorCode e = OpenBeneath(folder, relative, O_RDWR | O_CREAT | O_EXCL, fd)) return e;
    fd_ = fd;
    writable_ = true;
    return err::kSuccess;
}

void SimImageFile::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    writable_ = false;
}

bool SimImageFile::IsOpen() const {
    return fd_ >= 0;
}

ErrorCode SimImageFile::Size(std::uint64_t& bytes) const {
    if (fd_ < 0) return err::kInvalidHandle;
    struct stat st {};
    if (fstat(fd_, &st) != 0) return ErrorFromErrno(errno);
    bytes = static_cast<std::uint64_t>(st.st_size);
    return err::kSuccess;
}

ErrorCode SimImageFile::SetSize(std::uint64_t size) {
    if (fd_ < 0) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0) return ErrorFromErrno(errno);
    return err::kSuccess;
}

ErrorCode SimImageFile::ReadAt(std::uint64_t offset, MutableByteView data) const {
    if (fd_ < 0) return err::kInvalidHandle;
    if (!OffsetFits(offset, data.size())) return err::kInvalidParameter;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = pread(fd_, data.data() + done, std::min(data.size() - done, kPiece),
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
    if (fd_ < 0) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    if (!OffsetFits(offset, data.size())) return err::kInvalidParameter;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = pwrite(fd_, data.data() + done, std::min(data.size() - done, kPiece),
                                 static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ErrorFromErrno(errno);
        if (n == 0) return err::kWriteFault;
        done += static_cast<std::size_t>(n);
    }
    return err::kSuccess;
}

#endif

ErrorCode SimImageFile::Zero(std::uint64_t offset, std::uint64_t length) {
    if (!IsOpen()) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    if (!OffsetFits(offset, length)) return err::kInvalidParameter;
    if (length == 0) return err::kSuccess;
    std::uint64_t size = 0;
    if (const ErrorCode e = Size(size)) return e;
    if (offset >= size) return err::kSuccess; // already reads as zeros
    length = std::min(length, size - offset);
    // A range reaching the end: cut the file there and grow it back, which leaves a hole.
    if (offset + length == size) {
        if (SetSize(offset) == err::kSuccess) return SetSize(size);
    }
#ifdef _WIN32
    FILE_ZERO_DATA_INFORMATION zero{};
    zero.FileOffset.QuadPart = static_cast<LONGLONG>(offset);
    zero.BeyondFinalZero.QuadPart = static_cast<LONGLONG>(offset + length);
    DWORD returned = 0;
    if (DeviceIoControl(static_cast<HANDLE>(handle_), FSCTL_SET_ZERO_DATA, &zero, sizeof zero,
                        nullptr, 0, &returned, nullptr))
        return err::kSuccess;
#elif defined(FALLOC_FL_PUNCH_HOLE)
    if (fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                  static_cast<off_t>(length)) == 0)
        return err::kSuccess;
#endif
    const std::vector<std::uint8_t> zeros(
        static_cast<std::size_t>(std::min<std::uint64_t>(length, kZeroChunk)));
    for (std::uint64_t done = 0; done < length;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length - done, kZeroChunk));
        if (const ErrorCode e = WriteAt(offset + done, ByteView(zeros.data(), n))) return e;
        done += n;
    }
    return err::kSuccess;
}

} // namespace tvd
