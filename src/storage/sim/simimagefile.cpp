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

ErrorCode SimImageFile::Prepare(const std::string& path, std::uint64_t size, bool& created) {
    created = false;
    if (path.empty() || !OffsetFits(0, size)) return err::kInvalidParameter;
    SimImageFile f;
    ErrorCode e = f.Open(path, true);
    if (e == err::kFileNotFound) {
        if ((e = f.Create(path)) != err::kSuccess) return e;
        created = true;
    } else if (e) {
        return e;
    }
    std::uint64_t current = 0;
    if ((e = f.Size(current)) != err::kSuccess) return e;
    if (current >= size) return err::kSuccess;
    return f.SetSize(size);
}

#ifdef _WIN32

ErrorCode SimImageFile::Open(const std::string& path, bool write) {
    Close();
    if (path.empty()) return err::kInvalidParameter;
    const std::u16string wide = Utf8ToUtf16(path);
    const auto* name = reinterpret_cast<const wchar_t*>(wide.c_str());
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (write) {
        h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, kShare, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        writable_ = h != INVALID_HANDLE_VALUE;
    }
    if (h == INVALID_HANDLE_VALUE)
        h = CreateFileW(name, GENERIC_READ, kShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    handle_ = h;
    return err::kSuccess;
}

ErrorCode SimImageFile::Create(const std::string& path) {
    Close();
    const std::u16string wide = Utf8ToUtf16(path);
    HANDLE h =
        CreateFileW(reinterpret_cast<const wchar_t*>(wide.c_str()), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
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
    fd_ = fd;
    return err::kSuccess;
}

ErrorCode SimImageFile::Create(const std::string& path) {
    Close();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return ErrorFromErrno(errno);
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
