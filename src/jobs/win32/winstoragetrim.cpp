// The optimization's files on Windows: the folder made with CreateDirectoryW (never an existing
// one), held open without delete sharing and checked not to be a reparse point, so it can be
// neither replaced nor redirected while files are made in it with CREATE_NEW. NTFS passes the
// freed clusters on to the drive itself when the files are deleted; there is no separate trim.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/textconvutil.h"
#include "foundation/win32/winhandle.h"
#include "jobs/storagetrimutil.h"

namespace tvd {

struct TrimFolder::Impl {
    std::u16string folder;
    win::UniqueHandle dir;
    win::UniqueHandle file;
    std::vector<std::u16string> made; // full paths of the files this run created
};

namespace {

ErrorCode LastError() {
    const DWORD e = GetLastError();
    return e ? e : err::kGenFailure;
}

std::string RootOf(const std::string& root) {
    std::string r = root;
    if (r.size() == 2 && r[1] == ':') r += '\\';
    return r;
}

} // namespace

ErrorCode TrimVolumeSpace(const std::string& root, std::uint64_t& freeBytes) {
    if (root.empty()) return err::kInvalidParameter;
    ULARGE_INTEGER avail{}, total{}, totalFree{};
    if (!GetDiskFreeSpaceExW(win::W(Utf8ToUtf16(RootOf(root))), &avail, &total, &totalFree))
        return LastError();
    // What this process may use: a quota limits an administrator's files too.
    freeBytes = avail.QuadPart;
    return err::kSuccess;
}

TrimFolder::TrimFolder() = default;

TrimFolder::~TrimFolder() {
    RemoveAll();
}

ErrorCode TrimFolder::Create(const std::string& root) {
    RemoveAll();
    if (root.empty()) return err::kInvalidParameter;
    std::string base = RootOf(root);
    if (base.back() != '\\' && base.back() != '/') base += '\\';
    for (std::uint32_t n = 0; n <= kTrimFolderTries; ++n) {
        const std::string name = n == 0 ? std::string(kTrimFolderName)
                                        : std::string(kTrimFolderName) + "." + std::to_string(n);
        auto impl = std::make_unique<Impl>();
        impl->folder = Utf8ToUtf16(base + name);
        if (!CreateDirectoryW(win::W(impl->folder), nullptr)) {
            if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
            return LastError();
        }
        // Opened as itself (a reparse point is not followed) and kept open without delete
        // sharing: nobody can rename it away and put a junction in its place while we work.
        impl->dir.reset(CreateFileW(win::W(impl->folder), FILE_LIST_DIRECTORY | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
        if (!impl->dir.valid()) return LastError();
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(impl->dir.get(), &info)) return LastError();
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return err::kAccessDenied;
        path_ = base + name;
        impl_ = std::move(impl);
        return err::kSuccess;
    }
    return err::kAlreadyExists;
}

ErrorCode TrimFolder::OpenFile(std::uint32_t index) {
    if (!impl_ || !impl_->dir.valid()) return err::kInvalidHandle;
    if (impl_->file.valid()) return err::kInvalidParameter;
    const std::u16string path = impl_->folder + u"\\" + Utf8ToUtf16(std::to_string(index) + ".tmp");
    impl_->file.reset(CreateFileW(win::W(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!impl_->file.valid()) return LastError();
    impl_->made.push_back(path);
    return err::kSuccess;
}

ErrorCode TrimFolder::Write(ByteView data) {
    if (!impl_ || !impl_->file.valid()) return err::kInvalidHandle;
    std::size_t done = 0;
    while (done < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
        DWORD n = 0;
        if (!WriteFile(impl_->file.get(), data.data() + done, chunk, &n, nullptr))
            return LastError();
        if (n == 0) return err::kHandleEof;
        done += n;
    }
    return err::kSuccess;
}

ErrorCode TrimFolder::CloseFile() {
    if (!impl_ || !impl_->file.valid()) return err::kSuccess;
    const ErrorCode e = FlushFileBuffers(impl_->file.get()) ? err::kSuccess : LastError();
    impl_->file.reset();
    return e;
}

void TrimFolder::RemoveAll() {
    if (!impl_) return;
    impl_->file.reset();
    for (const std::u16string& path : impl_->made) {
        SetFileAttributesW(win::W(path), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(win::W(path));
    }
    impl_->dir.reset();
    // Only an empty folder goes; a reparse point in its place is not ours.
    const DWORD attrs = GetFileAttributesW(win::W(impl_->folder));
    if (attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetFileAttributesW(win::W(impl_->folder), FILE_ATTRIBUTE_NORMAL);
        if (RemoveDirectoryW(win::W(impl_->folder))) path_.clear();
    } else if (attrs == INVALID_FILE_ATTRIBUTES) {
        path_.clear();
    }
    impl_.reset();
}

ErrorCode TrimFreeSpace(const std::string&, std::uint64_t& trimmedBytes) {
    trimmedBytes = 0;
    return err::kNotSupported;
}

} // namespace tvd
