#include "foundation/fileutil.h"

#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <new>

#include "foundation/textconvutil.h"
#include "foundation/win32/winfileutil.h"
#include "foundation/win32/winhandle.h"

namespace tvd {

namespace win {

namespace {

// Length of the part of an absolute path that names the volume: "C:\", "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\".
std::size_t RootLength(const std::u16string& p) {
    auto afterComponents = [&](std::size_t from, int count) {
        std::size_t pos = from;
        for (int i = 0; i < count; ++i) {
            pos = p.find(u'\\', pos);
            if (pos == std::u16string::npos) return p.size();
            ++pos;
        }
        return pos;
    };
    if (p.rfind(u"\\\\?\\UNC\\", 0) == 0) return afterComponents(8, 2);
    if (p.rfind(u"\\\\?\\", 0) == 0) return std::min<std::size_t>(p.size(), 7);
    if (p.rfind(u"\\\\", 0) == 0) return afterComponents(2, 2);
    if (p.size() >= 3 && p[1] == u':' && p[2] == u'\\') return 3;
    return 0;
}

std::u16string Upper(std::u16string s) {
    if (!s.empty())
        CharUpperBuffW(reinterpret_cast<wchar_t*>(s.data()), static_cast<DWORD>(s.size()));
    return s;
}

std::u16string TempNameIn(const std::u16string& folder) {
    static std::atomic<unsigned> counter{0};
    wchar_t name[64];
    std::swprintf(name, 64, L"\\~tvd%08lx%08lx%04x.tmp", GetCurrentProcessId(), GetTickCount(),
                  counter.fetch_add(1) & 0xFFFF);
    std::u16string out = folder;
    if (!out.empty() && out.back() == u'\\') out.pop_back();
    return out + U16(name);
}

// Writes the bytes to a new file beside the target; the target itself is not touched.
ErrorCode WriteTempFile(const std::u16string& folder, ByteView data, std::u16string& temp) {
    UniqueHandle h;
    for (int attempt = 0; attempt < 16 && !h.valid(); ++attempt) {
        temp = TempNameIn(folder);
        h.reset(CreateFileW(W(temp), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_ARCHIVE,
                            nullptr));
        if (!h.valid() && GetLastError() != ERROR_FILE_EXISTS) return LastError();
    }
    if (!h.valid()) return err::kFileExists;
    ErrorCode e = err::kSuccess;
    while (!data.empty() && !e) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 24));
        DWORD written = 0;
        if (!WriteFile(h.get(), data.data(), chunk, &written, nullptr))
            e = LastError();
        else if (written == 0)
            e = err::kWriteFault;
        else
            data = data.subspan(written);
    }
    if (!e && !FlushFileBuffers(h.get())) e = LastError();
    h.reset();
    if (e) DeleteFileW(W(temp));
    return e;
}

} // namespace

std::u16string FolderOf(const std::u16string& full) {
    const std::size_t slash = full.find_last_of(u'\\');
    if (slash == std::u16string::npos) return {};
    // A drive or share root keeps its separator: "C:\x" lies in "C:\", not "C:".
    return full.substr(0, slash + 1 == RootLength(full) ? slash + 1 : slash);
}

ErrorCode FullPath(const std::u16string& path, std::u16string& full) {
    full.clear();
    if (path.empty()) return err::kInvalidParameter;
    std::u16string buf(MAX_PATH, u'\0');
    for (int round = 0; round < 4; ++round) {
        const DWORD n = GetFullPathNameW(W(path), static_cast<DWORD>(buf.size()),
                                         reinterpret_cast<wchar_t*>(buf.data()), nullptr);
        if (n == 0) return LastError();
        if (n < buf.size()) {
            full.assign(buf.data(), n);
            return err::kSuccess;
        }
        buf.assign(n + 1, u'\0');
    }
    return err::kInsufficientBuffer;
}

bool IsInsideFolder(const std::u16string& full, const std::u16string& folder) {
    std::u16string base = folder;
    while (!base.empty() && base.back() == u'\\')
        base.pop_back();
    if (base.empty() || full.size() <= base.size() + 1 || full[base.size()] != u'\\') return false;
    return Upper(full.substr(0, base.size())) == Upper(base);
}

ErrorCode CreateFolderPath(const std::u16string& folder) {
    const std::size_t root = RootLength(folder);
    if (root == 0) return err::kInvalidParameter;
    for (std::size_t pos = root; pos < folder.size();) {
        std::size_t end = folder.find(u'\\', pos);
        if (end == std::u16string::npos) end = folder.size();
        if (end > pos) {
            const std::u16string level = folder.substr(0, end);
            DWORD attributes = GetFileAttributesW(W(level));
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                if (!CreateDirectoryW(W(level), nullptr)) {
                    const ErrorCode e = LastError();
                    attributes = GetFileAttributesW(W(level)); // made by someone else meanwhile?
                    if (attributes == INVALID_FILE_ATTRIBUTES) return e;
                }
            }
            if (!(attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)))
                return err::kFileExists;
        }
        pos = end + 1;
    }
    return err::kSuccess;
}

} // namespace win

ErrorCode ReadWholeFile(const std::u16string& path, std::vector<std::uint8_t>& data) {
    data.clear();
    if (path.empty()) return err::kInvalidParameter;
    win::UniqueHandle h(CreateFileW(win::W(path), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) return win::LastError();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h.get(), &size)) return win::LastError();
    if (size.QuadPart == 0) return err::kHandleEof;
    if (size.QuadPart >= 0x100000000LL) return err::kNotEnoughMemory;
    std::vector<std::uint8_t> buf;
    try {
        buf.resize(static_cast<std::size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
        return err::kNoSystemResources;
    }
    std::size_t done = 0;
    while (done < buf.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(buf.size() - done, 1u << 24));
        DWORD got = 0;
        if (!ReadFile(h.get(), buf.data() + done, chunk, &got, nullptr)) return win::LastError();
        if (got == 0) return err::kReadFault; // shrank while being read
        done += got;
    }
    data = std::move(buf);
    return err::kSuccess;
}

ErrorCode ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& data) {
    return ReadWholeFile(Utf8ToUtf16(path), data);
}

ErrorCode WriteWholeFile(const std::u16string& path, ByteView data, FileUse use) {
    std::u16string full;
    if (ErrorCode e = win::FullPath(path, full)) return e;
    if (full.back() == u'\\') return err::kInvalidParameter;
    const std::u16string folder = win::FolderOf(full);
    if (folder.empty()) return err::kInvalidParameter;

    // What the elevated program will run must sit where only administrators can write.
    if (use == FileUse::kExecutable) {
        std::u16string adminFolder;
        if (ErrorCode e = win::AdminOnlyFolderW(adminFolder)) return e;
        if (!win::IsInsideFolder(full, adminFolder)) return err::kAccessDenied;
    }
    if (ErrorCode e = win::CreateFolderPath(folder)) return e;

    // The access list of the file being replaced keeps its explicit entries.
    PACL previous = nullptr;
    PSECURITY_DESCRIPTOR previousSd = nullptr;
    const DWORD attributes = GetFileAttributesW(win::W(full));
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return err::kAccessDenied;
        SetFileAttributesW(win::W(full), FILE_ATTRIBUTE_NORMAL);
        if (GetNamedSecurityInfoW(win::W(full), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &previous, nullptr, &previousSd) != ERROR_SUCCESS)
            previous = nullptr;
    }
    win::LocalPtr<void> previousOwner(previousSd);

    std::u16string temp;
    if (ErrorCode e = win::WriteTempFile(folder, data, temp)) return e;
    if (!MoveFileExW(win::W(temp), win::W(full),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const ErrorCode e = win::LastError();
        DeleteFileW(win::W(temp));
        return e;
    }
    return win::SetWrittenFileAccess(full, use, previous);
}

ErrorCode WriteWholeFile(const std::string& path, ByteView data, FileUse use) {
    return WriteWholeFile(Utf8ToUtf16(path), data, use);
}

ErrorCode DeleteFileForce(const std::u16string& path) {
    if (path.empty()) return err::kInvalidParameter;
    SetFileAttributesW(win::W(path), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(win::W(path))) return err::kSuccess;
    const ErrorCode e = win::LastError();
    return (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) ? err::kSuccess : e;
}

ErrorCode DeleteFileForce(const std::string& path) {
    return DeleteFileForce(Utf8ToUtf16(path));
}

ErrorCode AdminOnlyFolder(std::string& path) {
    std::u16string w;
    const ErrorCode e = win::AdminOnlyFolderW(w);
    path = e ? std::string() : Utf16ToUtf8(w);
    return e;
}

ErrorCode ExtractBinaryResource(const char* modulePath, int id, const std::string& fileName,
                                std::string& writtenPath) {
    writtenPath.clear();
    // A bare file name: the resource may only land inside the admin-only folder.
    if (fileName.empty() || fileName == "." || fileName == ".." ||
        fileName.find_first_of("\\/:") != std::string::npos)
        return err::kInvalidParameter;

    win::UniqueModule loaded;
    HMODULE module = GetModuleHandleW(nullptr);
    if (modulePath) {
        // An absolute path: a bare name would be looked up along the search path, and what is
        // extracted here gets run.
        std::u16string fullModule;
        if (ErrorCode e = win::FullPath(Utf8ToUtf16(modulePath), fullModule)) return e;
        loaded.reset(LoadLibraryExW(win::W(fullModule), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!loaded) return win::LastError();
        module = loaded.get();
    }
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"BINRES");
    if (!found) return win::LastError();
    HGLOBAL handle = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    const void* bytes = handle ? LockResource(handle) : nullptr;
    if (!bytes) return win::LastError();

    std::u16string folder;
    if (ErrorCode e = win::AdminOnlyFolderW(folder)) return e;
    const std::u16string target = folder + u"\\" + Utf8ToUtf16(fileName);
    const ErrorCode e = WriteWholeFile(
        target, ByteView(static_cast<const std::uint8_t*>(bytes), size), FileUse::kExecutable);
    if (!e) writtenPath = Utf16ToUtf8(target);
    return e;
}

bool FindRcData(const char* name, ByteView& bytes) {
    bytes = {};
    if (!name || !*name) return false;
    HMODULE self = GetModuleHandleW(nullptr);
    const std::u16string wname = Utf8ToUtf16(name);
    HRSRC found = FindResourceW(self, win::W(wname), RT_RCDATA);
    if (!found) return false;
    HGLOBAL handle = LoadResource(self, found);
    const void* data = handle ? LockResource(handle) : nullptr;
    if (!data) return false;
    bytes = ByteView(static_cast<const std::uint8_t*>(data), SizeofResource(self, found));
    return true;
}

} // namespace tvd
