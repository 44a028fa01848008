// The cleanup batch on Windows: written into a fresh folder only administrators can write, in a
// parent where ordinary users cannot delete or rename entries, and run by the system folder's
// cmd.exe (never through the ".bat" association, which users can change for themselves).
#include <windows.h>

#include <random>
#include <vector>

#include "foundation/win32/winfileutil.h"
#include "foundation/win32/winhandle.h"
#include "foundation/winfolderutilw.h"
#include "uninstall/appuninstallutil.h"
#include "uninstall/cleanupbatch.h"
#include "uninstall/uninstallnames.h"

namespace tvd::uninstall {

namespace {

constexpr int kFolderAttempts = 16;

std::optional<std::string> ToOem(std::u16string_view text) {
    if (text.empty()) return std::string();
    const int n = static_cast<int>(text.size());
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide, n, nullptr, 0,
                                         nullptr, &usedDefault);
    if (size <= 0 || usedDefault) return std::nullopt;
    std::string out(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide, n, out.data(), size, nullptr,
                            &usedDefault) != size ||
        usedDefault)
        return std::nullopt;
    // Exact only when it reads back as the same text.
    std::vector<wchar_t> back(text.size() + 1);
    const int m = MultiByteToWideChar(CP_OEMCP, MB_ERR_INVALID_CHARS, out.data(), size, back.data(),
                                      static_cast<int>(back.size()));
    if (m != n || !std::equal(text.begin(), text.end(), back.begin(),
                              [](char16_t a, wchar_t b) { return a == static_cast<char16_t>(b); }))
        return std::nullopt;
    return out;
}

std::optional<std::u16string> ShortPath(std::u16string_view path) {
    const std::u16string p(path);
    const DWORD need = GetShortPathNameW(win::W(p), nullptr, 0);
    if (need == 0) return std::nullopt;
    std::vector<wchar_t> buf(need + 1);
    const DWORD n = GetShortPathNameW(win::W(p), buf.data(), need + 1);
    if (n == 0 || n > need) return std::nullopt;
    std::u16string shortForm = win::U16(buf.data(), n);
    if (shortForm == p) return std::nullopt;
    return shortForm;
}

// A new folder under `parent` with the administrators-only list from the start; never one that
// already existed.
ErrorCode CreateFreshAdminFolder(const std::u16string& parent, std::u16string& folder) {
    std::vector<DWORD> acl;
    if (ErrorCode e = win::AdminOnlyAcl(acl)) return e;
    SECURITY_DESCRIPTOR sd{};
    if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<ACL*>(acl.data()), FALSE) ||
        !SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return win::LastError();
    SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
    std::random_device random;
    for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
        const std::uint64_t r = (std::uint64_t(random()) << 32) | random();
        static const char16_t kHex[] = u"0123456789abcdef";
        std::u16string suffix;
        for (int i = 0; i < 16; ++i)
            suffix += kHex[(r >> (i * 4)) & 0xF];
        folder = JoinPath(parent, u"TarvikdornUninstall-" + suffix);
        if (CreateDirectoryW(win::W(folder), &sa)) {
            // The owner too, so that the list cannot be rewritten by anyone else.
            if (ErrorCode e = win::SecureAdminOnlyFolder(folder)) {
                RemoveDirectoryW(win::W(folder));
                return e;
            }
            return err::kSuccess;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return win::LastError();
    }
    return err::kAlreadyExists;
}

ErrorCode WriteNewFile(const std::u16string& path, const std::string& text) {
    win::UniqueHandle file(CreateFileW(win::W(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return win::LastError();
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
        return win::LastError();
    return err::kSuccess;
}

} // namespace

ErrorCode WriteAndStartCleanupBatch(const std::u16string& uninstallerFile,
                                    const std::u16string& installFolder) {
    std::u16string windows, system;
    if (ErrorCode e = WindowsDirectoryW(windows)) return e;
    if (ErrorCode e = NativeSystemDirectoryW(system)) return e;
    // The Windows temporary folder: ordinary users may add entries there but not delete or
    // rename another's.
    const std::u16string parent = JoinPath(windows, u"Temp");
    const DWORD attributes = GetFileAttributesW(win::W(parent));
    if (attributes == INVALID_FILE_ATTRIBUTES) return win::LastError();
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return err::kAccessDenied;
    std::u16string folder;
    if (ErrorCode e = CreateFreshAdminFolder(parent, folder)) return e;

    BatchEncoding enc{ToOem, ShortPath};
    const std::string text = BuildCleanupBatch({uninstallerFile, installFolder, folder}, enc);
    const std::u16string batch = JoinPath(folder, kBatchFileName);
    if (ErrorCode e = WriteNewFile(batch, text)) {
        DeleteFileW(win::W(batch));
        RemoveDirectoryW(win::W(folder));
        return e;
    }

    // A cmd.exe that keeps the running batch open (Wine's does) cannot remove its folder; the
    // next start of the system removes whatever is left of it.
    MoveFileExW(win::W(batch), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    MoveFileExW(win::W(folder), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);

    // /d: no AutoRun commands from the registry; /v:off: '!' is plain text.
    const std::u16string cmd = JoinPath(system, u"cmd.exe");
    std::u16string line = u"\"" + cmd + u"\" /d /v:off /c \".\\" + kBatchFileName + u"\"";
    std::vector<wchar_t> mutableLine(line.begin(), line.end());
    mutableLine.push_back(L'\0');
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(win::W(cmd), mutableLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, win::W(folder), &si, &pi)) {
        const ErrorCode e = win::LastError();
        DeleteFileW(win::W(batch));
        RemoveDirectoryW(win::W(folder));
        return e;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return err::kSuccess;
}

} // namespace tvd::uninstall
