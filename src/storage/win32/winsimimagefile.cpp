// The image file calls of the simulated drives on Windows: the wide Win32 file API with
// explicit offsets, sparse files, and zeroing that releases space.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>

#include "foundation/textconvutil.h"
#include "storage/sim/simimagefile.h"

namespace tvd {

namespace {
HANDLE Handle(std::intptr_t native) {
    return reinterpret_cast<HANDLE>(native);
}
} // namespace

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
    native_ = reinterpret_cast<std::intptr_t>(h);
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
    native_ = reinterpret_cast<std::intptr_t>(h);
    writable_ = true;
    // Sparse where the file system knows the notion; elsewhere the size alone is set.
    DWORD returned = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    return err::kSuccess;
}

void SimImageFile::Close() {
    if (native_ != kNoFile) CloseHandle(Handle(native_));
    native_ = kNoFile;
    writable_ = false;
}

ErrorCode SimImageFile::Size(std::uint64_t& bytes) const {
    if (native_ == kNoFile) return err::kInvalidHandle;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(Handle(native_), &size)) return GetLastError();
    bytes = static_cast<std::uint64_t>(size.QuadPart);
    return err::kSuccess;
}

ErrorCode SimImageFile::SetSize(std::uint64_t size) {
    if (native_ == kNoFile) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(Handle(native_), FileEndOfFileInfo, &info, sizeof info))
        return GetLastError();
    return err::kSuccess;
}

ErrorCode SimImageFile::ReadAt(std::uint64_t offset, MutableByteView data) const {
    if (native_ == kNoFile) return err::kInvalidHandle;
    if (!simimage::OffsetFits(offset, data.size())) return err::kInvalidParameter;
    std::size_t done = 0;
    while (done < data.size()) {
        OVERLAPPED ov{};
        const std::uint64_t at = offset + done;
        ov.Offset = static_cast<DWORD>(at);
        ov.OffsetHigh = static_cast<DWORD>(at >> 32);
        const auto want = static_cast<DWORD>(std::min(data.size() - done, simimage::kPiece));
        DWORD got = 0;
        if (!ReadFile(Handle(native_), data.data() + done, want, &got, &ov)) {
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
    if (native_ == kNoFile) return err::kInvalidHandle;
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
        if (!WriteFile(Handle(native_), data.data() + done, want, &put, &ov)) return GetLastError();
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
    if (DeviceIoControl(Handle(native_), FSCTL_SET_ZERO_DATA, &zero, sizeof zero, nullptr, 0,
                        &returned, nullptr))
        return err::kSuccess;
    return err::kNotSupported;
}

} // namespace tvd
