// The removal's platform operations on Windows.
#include <windows.h>

#include <shlobj.h>
#include <tlhelp32.h>

#include <vector>

#include "foundation/win32/winhandle.h"
#include "foundation/winfolderutilw.h"
#include "uninstall/removalplaces.h"
#include "uninstall/uninstallnames.h"
#include "uninstall/winsetuppathutil.h"

namespace tvd::uninstall {

namespace {

constexpr int kMaxTreeDepth = 256;
constexpr DWORD kToolWaitMs = 60000;

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Waits for `h` up to `ms` while messages keep flowing; true once it is signalled.
bool WaitPumping(HANDLE h, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (true) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now >= end ? 0 : static_cast<DWORD>(end - now);
        const DWORD r = h ? MsgWaitForMultipleObjects(1, &h, FALSE, left, QS_ALLINPUT)
                          : MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT);
        if (h && r == WAIT_OBJECT_0) return true;
        if (r == WAIT_FAILED) return false;
        Pump();
        if (left == 0) return h && WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    }
}

bool IsReparse(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A folder opened for listing, itself (never a link's target), shared for reading and writing
// but not for deletion: while it is held nobody renames or replaces it.
class HeldFolder {
public:
    explicit HeldFolder(const std::u16string& path) {
        h_.reset(CreateFileW(win::W(path), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        plain_ = h_.valid() && GetFileInformationByHandle(h_.get(), &info) &&
                 (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                 !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }
    // An existing real folder, not a link or junction.
    bool Plain() const { return plain_; }

private:
    win::UniqueHandle h_;
    bool plain_ = false;
};

std::u16string Join(const std::u16string& a, const std::u16string& b) {
    return JoinPath(a, b);
}

// The link opened as itself and deleted when closed.
void DeleteLinkItself(const std::u16string& path) {
    HANDLE h = CreateFileW(
        win::W(path), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_DELETE_ON_CLOSE,
        nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

void DeleteTreeContents(const std::u16string& folder, int depth) {
    if (depth > kMaxTreeDepth) return;
    HeldFolder held(folder);
    if (!held.Plain()) return;
    WIN32_FIND_DATAW fd{};
    const std::u16string pattern = Join(folder, u"*");
    HANDLE find =
        FindFirstFileExW(win::W(pattern), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return;
    std::vector<WIN32_FIND_DATAW> entries;
    do {
        const std::u16string name = win::U16(fd.cFileName);
        if (name == u"." || name == u"..") continue;
        entries.push_back(fd);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    for (const WIN32_FIND_DATAW& e : entries) {
        const std::u16string child = Join(folder, win::U16(e.cFileName));
        const bool isDir = e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        if (IsReparse(e.dwFileAttributes)) {
            // The link goes, its target stays. A link to a folder is removed as a folder on
            // Windows; other systems' links (as Wine shows a host link) may need the file call.
            if (!(isDir && RemoveDirectoryW(win::W(child))) && !DeleteFileW(win::W(child)))
                DeleteLinkItself(child);
            continue;
        }
        if (e.dwFileAttributes &
            (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
            SetFileAttributesW(win::W(child),
                               isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL);
        if (isDir) {
            DeleteTreeContents(child, depth + 1);
            RemoveDirectoryW(win::W(child));
        } else {
            DeleteFileW(win::W(child));
        }
    }
}

bool SameFileName(const std::u16string& a, const std::u16string& b) {
    return SamePathText(a, b);
}

class WinRemovalPlatform final : public RemovalPlatform {
public:
    WinRemovalPlatform(std::function<void(int)> progress, bool* cancelled,
                       std::u16string mainProgramFile)
        : progress_(std::move(progress)), cancelled_(cancelled),
          mainProgramFile_(std::move(mainProgramFile)) {}

    bool RequestMainProgramClose() override {
        if (process_.valid() && WaitForSingleObject(process_.get(), 0) != WAIT_TIMEOUT)
            process_.reset();
        HWND window = FindWindowW(win::W(kMainWindowClass), win::W(kMainWindowCaption));
        if (window) {
            if (!process_.valid()) {
                DWORD pid = 0;
                GetWindowThreadProcessId(window, &pid);
                if (pid) process_.reset(OpenProcess(SYNCHRONIZE, FALSE, pid));
            }
            PostMessageW(window, WM_CLOSE, 0, 0);
            return true;
        }
        // Without its window (shutting down, or not yet built) the program may still run from
        // the file that is about to be deleted.
        if (!process_.valid()) FindMainProgramProcess();
        return process_.valid();
    }

    bool WaitMainProgramEnd(std::uint32_t ms) override {
        if (!process_.valid()) {
            WaitPumping(nullptr, ms);
            return !FindWindowW(win::W(kMainWindowClass), win::W(kMainWindowCaption));
        }
        return WaitPumping(process_.get(), ms);
    }

    ErrorCode RemoveFile(const std::u16string& path) override {
        const DWORD attributes = GetFileAttributesW(win::W(path));
        if (attributes == INVALID_FILE_ATTRIBUTES) return win::LastError();
        if (!IsReparse(attributes) &&
            (attributes &
             (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
            SetFileAttributesW(win::W(path), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(win::W(path))) return win::LastError();
        return err::kSuccess;
    }

    ErrorCode RemoveEmptyFolder(const std::u16string& path) override {
        if (!RemoveDirectoryW(win::W(path))) return win::LastError();
        return err::kSuccess;
    }

    ErrorCode DeleteFolderContents(const std::u16string& path) override {
        // The folder and its parent are held, so neither can be swapped for a link meanwhile.
        const std::size_t slash = path.find_last_of(u'\\');
        if (slash == std::u16string::npos || slash < 3) return err::kInvalidParameter;
        HeldFolder parent(path.substr(0, slash));
        if (!parent.Plain()) return err::kAccessDenied;
        HeldFolder self(path);
        if (!self.Plain()) return err::kAccessDenied;
        DeleteTreeContents(path, 0);
        return err::kSuccess;
    }

    ErrorCode RunAndWait(const std::u16string& program, const std::u16string& arguments) override {
        std::u16string line = u"\"" + program + u"\" " + arguments;
        std::vector<wchar_t> mutableLine(line.begin(), line.end());
        mutableLine.push_back(L'\0');
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::u16string folder = program.substr(0, program.find_last_of(u'\\'));
        if (!CreateProcessW(win::W(program), mutableLine.data(), nullptr, nullptr, FALSE,
                            CREATE_NO_WINDOW, nullptr, win::W(folder), &si, &pi))
            return win::LastError();
        win::UniqueHandle process(pi.hProcess);
        win::UniqueHandle thread(pi.hThread);
        return WaitPumping(process.get(), kToolWaitMs) ? err::kSuccess : err::kTimeout;
    }

    void NotifyFolderChanged(const std::u16string& path) override {
        SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW, win::W(path), nullptr);
    }

    void Progress(int percent) override {
        if (progress_) progress_(percent);
        Pump();
    }
    bool Cancelled() override { return cancelled_ && *cancelled_; }
    void ClearCancelled() override {
        if (cancelled_) *cancelled_ = false;
    }

private:
    void FindMainProgramProcess() {
        win::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!snapshot.valid()) return;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
             more = Process32NextW(snapshot.get(), &entry)) {
            if (!SameFileName(win::U16(entry.szExeFile), kMainProgramFile)) continue;
            win::UniqueHandle p(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                            entry.th32ProcessID));
            if (!p.valid()) continue;
            wchar_t image[MAX_PATH * 4] = {};
            DWORD size = static_cast<DWORD>(std::size(image));
            if (!QueryFullProcessImageNameW(p.get(), 0, image, &size)) continue;
            if (!SamePathText(win::U16(image, size), mainProgramFile_)) continue;
            process_ = std::move(p);
            return;
        }
    }

    std::function<void(int)> progress_;
    bool* cancelled_;
    std::u16string mainProgramFile_;
    win::UniqueHandle process_;
};

ErrorCode Folder(int csidl, int fallback, std::u16string& path) {
    if (ShellFolderPathW(csidl, path) == err::kSuccess) return err::kSuccess;
    return fallback ? ShellFolderPathW(fallback, path) : err::kFileNotFound;
}

} // namespace

ErrorCode FindRemovalPlaces(RemovalPlaces& places) {
    places = {};
    if (ErrorCode e =
            Folder(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, places.desktopFolder))
        return e;
    if (ErrorCode e = Folder(CSIDL_COMMON_STARTUP, CSIDL_STARTUP, places.startupFolder)) return e;
    if (ErrorCode e = Folder(CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, places.programsFolder))
        return e;
    if (ErrorCode e = Folder(CSIDL_COMMON_APPDATA, 0, places.commonAppData)) return e;
    if (ErrorCode e = NativeSystemDirectoryW(places.toolFolder)) return e;
    std::u16string programFiles;
    if (ErrorCode e = Folder(CSIDL_PROGRAM_FILES, 0, programFiles)) return e;

    std::vector<std::u16string> forbidden = {programFiles, places.toolFolder};
    std::u16string extra;
    if (WindowsDirectoryW(extra) == err::kSuccess) forbidden.push_back(extra);
    if (ShellFolderPathW(CSIDL_SYSTEM, extra) == err::kSuccess) forbidden.push_back(extra);
    if (ShellFolderPathW(CSIDL_SYSTEMX86, extra) == err::kSuccess) forbidden.push_back(extra);
    if (ShellFolderPathW(CSIDL_PROGRAM_FILESX86, extra) == err::kSuccess)
        forbidden.push_back(extra);
    const std::u16string defaultFolder =
        JoinPath(JoinPath(programFiles, kCompanyFolder), kProductFolder);
    places.installFolder = ResolveInstallFolder(defaultFolder, forbidden);
    return err::kSuccess;
}

std::unique_ptr<RemovalPlatform> MakeRemovalPlatform(const RemovalPlaces& places,
                                                     std::function<void(int)> progress,
                                                     bool* cancelled) {
    return std::make_unique<WinRemovalPlatform>(std::move(progress), cancelled,
                                                JoinPath(places.installFolder, kMainProgramFile));
}

} // namespace tvd::uninstall
