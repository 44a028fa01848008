// The clone log on Windows: the all-users desktop (else the user's), a new folder made there and
// the file created in it with CREATE_NEW; a path that passes a reparse point is refused, so no
// link an ordinary user planted is followed.
#include <windows.h>

#include <shlobj.h>

#include "clone/clonelogfileutil.h"

namespace tvd {

namespace {

std::wstring W(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

bool IsPlainFolder(const std::u16string& path) {
    const DWORD a = GetFileAttributesW(W(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
           !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

} // namespace

struct CloneLogFile::Impl {
    HANDLE file = INVALID_HANDLE_VALUE;
};

CloneLocalTime CloneLocalTimeNow() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    CloneLocalTime t;
    t.month = st.wMonth;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.millisecond = st.wMilliseconds;
    return t;
}

ErrorCode CloneLogBaseFolder(std::u16string& folder) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, 0, path) != S_OK &&
        SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, 0, path) != S_OK)
        return err::kPathNotFound;
    const std::wstring w(path);
    folder.assign(w.begin(), w.end());
    return err::kSuccess;
}

CloneLogFile::CloneLogFile() : impl_(std::make_unique<Impl>()) {}

CloneLogFile::~CloneLogFile() {
    Close();
}

bool CloneLogFile::IsOpen() const {
    return impl_->file != INVALID_HANDLE_VALUE;
}

ErrorCode CloneLogFile::Create(const std::u16string& base, const CloneLocalTime& t) {
    if (IsOpen()) return err::kSuccess;
    // Every folder of the path must be a plain one: a junction or link anywhere could send the
    // administrator's file elsewhere.
    for (std::size_t i = base.find(u'\\', 3);; i = base.find(u'\\', i + 1)) {
        const std::u16string part = base.substr(0, i);
        if (!IsPlainFolder(part)) return err::kAccessDenied;
        if (i == std::u16string::npos) break;
    }
    for (unsigned attempt = 1; attempt <= kCloneLogFolderTries; ++attempt) {
        const std::u16string folder = base + u"\\" + CloneLogFolderName(t, attempt);
        if (!CreateDirectoryW(W(folder).c_str(), nullptr)) {
            const DWORD e = GetLastError();
            if (e == ERROR_ALREADY_EXISTS) continue;
            return e;
        }
        if (!IsPlainFolder(folder)) return err::kAccessDenied;
        const std::u16string path = folder + u"\\" + kCloneLogFileName;
        const HANDLE h = CreateFileW(
            W(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
            nullptr, CREATE_NEW, FILE_ATTRIBUTE_ARCHIVE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD e = GetLastError();
            RemoveDirectoryW(W(folder).c_str());
            return e;
        }
        impl_->file = h;
        folder_ = folder;
        path_ = path;
        static const std::vector<std::uint8_t> kBom = {0xFF, 0xFE};
        const ErrorCode e = Write(kBom);
        if (e != err::kSuccess) Discard();
        return e;
    }
    return err::kAlreadyExists;
}

ErrorCode CloneLogFile::Write(const std::vector<std::uint8_t>& bytes) {
    if (!IsOpen()) return err::kInvalidHandle;
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(impl_->file, bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr))
            return GetLastError();
        if (n == 0) return err::kWriteFault;
        done += n;
    }
    return err::kSuccess;
}

void CloneLogFile::Close() {
    if (impl_->file != INVALID_HANDLE_VALUE) CloseHandle(impl_->file);
    impl_->file = INVALID_HANDLE_VALUE;
}

ErrorCode CloneLogFile::Discard() {
    Close();
    if (path_.empty()) return err::kFileNotFound;
    if (!DeleteFileW(W(path_).c_str())) return GetLastError();
    RemoveDirectoryW(W(folder_).c_str());
    return err::kSuccess;
}

} // namespace tvd
