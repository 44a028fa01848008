// The simulated drive's image file through the wide Win32 API: positioned reads and writes,
// paths walked without following reparse points.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "foundation/textconvutil.h"
#include "storage/sim/simimagefile.h"

namespace tvd {

namespace {

constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The image's full wide path, after checking that no folder on the way is a reparse point.
ErrorCode WidePathBeneath(const std::string& folder, const std::string& relative,
                          std::u16string& out) {
    const std::vector<std::string> parts = simimage::PathParts(relative);
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
    file_ = h;
    return err::kSuccess;
}

ErrorCode SimImageFile::Create(const std::string& folder, const std::string& relative) {
    Close();
    std::u16string path;
    if (const ErrorCode e = WidePathBeneath(folder, relative, path)) return e;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (const ErrorCode e = OpenNoLink(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, h)) return e;
    file_ = h;
    writable_ = true;
    // Sparse where the file system knows the notion; elsewhere the size alone is set.
    DWORD returned = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    return err::kSuccess;
}

void SimImageFile::Close() {
    if (file_) CloseHandle(static_cast<HANDLE>(file_));
    file_ = nullptr;
    writable_ = false;
}

ErrorCode SimImageFile::Size(std::uint64_t& bytes) const {
    if (!file_) return err::kInvalidHandle;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(static_cast<HANDLE>(file_), &size)) return GetLastError();
    bytes = static_cast<std::uint64_t>(size.QuadPart);
    return err::kSuccess;
}

ErrorCode SimImageFile::SetSize(std::uint64_t size) {
    if (!file_) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(static_cast<HANDLE>(file_), FileEndOfFileInfo, &info,
                                    sizeof info))
        return GetLastError();
    return err::kSuccess;
}

ErrorCode SimImageFile::ReadAt(std::uint64_t offset, MutableByteView data) const {
    if (!file_) return err::kInvalidHandle;
    if (!simimage::OffsetFits(offset, data.size())) return err::kInvalidParameter;
    std::size_t done = 0;
    while (done < data.size()) {
        OVERLAPPED ov{};
        const std::uint64_t at = offset + done;
        ov.Offset = static_cast<DWORD>(at);
        ov.OffsetHigh = static_cast<DWORD>(at >> 32);
        const auto want = static_cast<DWORD>(std::min(data.size() - done, simimage::kPiece));
        DWORD got = 0;
        if (!ReadFile(static_cast<HANDLE>(file_), data.data() + done, want, &got, &ov)) {
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
    if (!file_) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    if (!simimage::OffsetFits(offset, data.size())) return err::kInvalidParameter;
    std::size_t done = 0;
    while (done < data.size()) {
        OVERLAPPED ov{};
        const std::uint64_t at = offset + done;
        ov.Offset = static_cast<DWORD>(at);
        ov.OffsetHigh = static_cast<DWORD>(at >> 32);
        const auto want = static_cast<DWORD>(std::min(data.size() - done, simimage::kPiece));
        DWORD put = 0;
        if (!WriteFile(static_cast<HANDLE>(file_), data.data() + done, want, &put, &ov))
            return GetLastError();
        if (put == 0) return err::kWriteFault;
        done += put;
    }
    return err::kSuccess;
}

ErrorCode SimImageFile::PunchHole(std::uint64_t offset, std::uint64_t length) {
    FILE_ZERO_DATA_INFORMATION zero{};
    zero.FileOffset.QuadPart = static_cast<LONGLONG>(offset);
    zero.BeyondFinalZero.QuadPart = static_cast<LONGLONG>(offset + length);
    DWORD returned = 0;
    if (!DeviceIoControl(static_cast<HANDLE>(file_), FSCTL_SET_ZERO_DATA, &zero, sizeof zero,
                         nullptr, 0, &returned, nullptr))
        return GetLastError();
    return err::kSuccess;
}

} // namespace tvd
