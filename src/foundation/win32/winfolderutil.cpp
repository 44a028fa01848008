#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "foundation/envutil.h"
#include "foundation/textconvutil.h"
#include "foundation/win32/winhandle.h"
#include "foundation/win32/winmodules.h"
#include "foundation/winfolderutila.h"
#include "foundation/winfolderutilw.h"

namespace tvd {

namespace {

// Runs a "fill this buffer, tell me the size" query until the buffer is large enough.
template <class Query> ErrorCode SizedQuery(std::u16string& out, Query query) {
    out.clear();
    std::u16string buf(MAX_PATH, u'\0');
    for (int round = 0; round < 4; ++round) {
        const UINT n = query(reinterpret_cast<wchar_t*>(buf.data()), static_cast<UINT>(buf.size()));
        if (n == 0) return win::LastError();
        if (n < buf.size()) {
            out.assign(buf.data(), n);
            return err::kSuccess;
        }
        buf.assign(n + 1, u'\0');
    }
    return err::kInsufficientBuffer;
}

ErrorCode ToUtf8(ErrorCode e, const std::u16string& wide, std::string& out) {
    out = e ? std::string() : Utf16ToUtf8(wide);
    return e;
}

char DriveLetterOf(const std::u16string& path) {
    if (path.size() < 2 || path[1] != u':') return '\0';
    const char16_t c = path[0];
    if (c >= u'a' && c <= u'z') return static_cast<char>(c - u'a' + 'A');
    if (c >= u'A' && c <= u'Z') return static_cast<char>(c);
    return '\0';
}

// SHGetFileInfo wants COM on the calling thread; a thread already in another apartment is fine.
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

} // namespace

ErrorCode WindowsDirectoryW(std::u16string& path) {
    return SizedQuery(path, [](wchar_t* b, UINT n) { return GetWindowsDirectoryW(b, n); });
}

ErrorCode WindowsDirectory(std::string& path) {
    std::u16string w;
    return ToUtf8(WindowsDirectoryW(w), w, path);
}

char WindowsDriveLetter() {
    std::u16string w;
    return WindowsDirectoryW(w) ? '\0' : DriveLetterOf(w);
}

ErrorCode NativeSystemDirectoryW(std::u16string& path) {
#if !defined(_WIN64)
    // A 32-bit process on a 64-bit system is redirected away from the native folder.
    if (IsNative64()) {
        if (IsVistaOrLater()) {
            if (ErrorCode e = WindowsDirectoryW(path)) return e;
            if (!path.empty() && path.back() == u'\\') path.pop_back();
            path += u"\\Sysnative";
            return err::kSuccess;
        }
        auto wow64Dir = win::BoundGetSystemWow64DirectoryW();
        if (!wow64Dir) {
            path.clear();
            return err::kProcNotFound;
        }
        return SizedQuery(path, [&](wchar_t* b, UINT n) { return wow64Dir(b, n); });
    }
#endif
    return SizedQuery(path, [](wchar_t* b, UINT n) { return GetSystemDirectoryW(b, n); });
}

ErrorCode NativeSystemDirectory(std::string& path) {
    std::u16string w;
    return ToUtf8(NativeSystemDirectoryW(w), w, path);
}

ErrorCode ShellFolderPathW(int csidlId, std::u16string& path) {
    path.clear();
    wchar_t buf[MAX_PATH] = {};
    const HRESULT hr = SHGetFolderPathW(nullptr, csidlId, nullptr, SHGFP_TYPE_CURRENT, buf);
    if (hr != S_OK) return FAILED(hr) ? win::FromHresult(hr) : err::kFileNotFound;
    path = win::U16(buf);
    return path.empty() ? err::kFileNotFound : err::kSuccess;
}

ErrorCode ShellFolderPath(int csidlId, std::string& path) {
    std::u16string w;
    return ToUtf8(ShellFolderPathW(csidlId, w), w, path);
}

char ShellFolderDriveLetter(int csidlId) {
    std::u16string w;
    if (ShellFolderPathW(csidlId, w)) return '\0';
    const bool root = w.size() == 2 || (w.size() == 3 && w[2] == u'\\');
    return root ? DriveLetterOf(w) : '\0';
}

ErrorCode ShellDisplayNameW(const std::u16string& path, std::u16string& name, int* iconIndex) {
    name.clear();
    if (path.empty()) return err::kInvalidParameter;
    ComScope com;
    SHFILEINFOW info{};
    UINT flags = SHGFI_DISPLAYNAME;
    if (iconIndex) flags |= SHGFI_SYSICONINDEX;
    if (!SHGetFileInfoW(win::W(path), 0, &info, sizeof info, flags)) return err::kFileNotFound;
    name = win::U16(info.szDisplayName);
    if (iconIndex) *iconIndex = info.iIcon;
    return err::kSuccess;
}

ErrorCode ShellDisplayName(const std::string& path, std::string& name, int* iconIndex) {
    std::u16string w;
    return ToUtf8(ShellDisplayNameW(Utf8ToUtf16(path), w, iconIndex), w, name);
}

} // namespace tvd
