// Whole-file reading and writing on Linux. A write goes to a temporary file in the target's
// folder and is renamed over the target only when it is complete and on disk, so a failed
// write never leaves a partial file in place of a good one.
#include "foundation/fileutil.h"
#include "foundation/embeddedresource.h"
#include "foundation/linux/rootfolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "foundation/textconvutil.h"

namespace tvd {

namespace {

constexpr const char* kAdminOnlyFolder = "/var/lib/tarvikdorn/bin";

ErrorCode LastError() {
    return ErrorFromErrno(errno);
}

// mkdir -p of `dir`; a non-directory anywhere on the way is kFileExists.
ErrorCode CreateFolders(const std::string& dir) {
    if (dir.empty()) return err::kSuccess;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        const std::string prefix = dir.substr(0, pos);
        if (prefix.empty() || prefix.back() == '/') continue;
        struct stat st {};
        if (stat(prefix.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return err::kFileExists;
            continue;
        }
        if (errno == ENOTDIR) return err::kFileExists;
        if (errno != ENOENT) return LastError();
        if (mkdir(prefix.c_str(), 0755) == 0) continue;
        if (errno != EEXIST) return LastError();
        if (stat(prefix.c_str(), &st) != 0) return LastError();
        if (!S_ISDIR(st.st_mode)) return err::kFileExists;
    }
    return err::kSuccess;
}

ErrorCode WriteAll(int fd, ByteView data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LastError();
        if (n == 0) return err::kWriteFault;
        done += static_cast<std::size_t>(n);
    }
    return err::kSuccess;
}

void SyncFolder(const std::string& dir) {
    const int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd); // the rename's durability only; the data itself is already synced
    close(fd);
}

bool RootOnly(const struct stat& st, bool allowSticky) {
    if (!S_ISDIR(st.st_mode) || st.st_uid != 0) return false;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0) return true;
    return allowSticky && (st.st_mode & S_ISVTX) != 0;
}

} // namespace

ErrorCode ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& data) {
    data.clear();
    if (path.empty()) return err::kInvalidParameter;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return LastError();
    ErrorCode result = err::kSuccess;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        result = LastError();
    } else if (S_ISDIR(st.st_mode)) {
        result = err::kAccessDenied;
    } else if (st.st_size <= 0) {
        result = err::kHandleEof;
    } else if (static_cast<std::uint64_t>(st.st_size) >= (std::uint64_t(1) << 32)) {
        result = err::kNotEnoughMemory;
    } else {
        data.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = read(fd, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                result = LastError();
                break;
            }
            if (n == 0) {
                result = err::kReadFault; // the file shrank while being read
                break;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    close(fd);
    if (result != err::kSuccess) data.clear();
    return result;
}

ErrorCode ReadWholeFile(const std::u16string& path, std::vector<std::uint8_t>& data) {
    return ReadWholeFile(Utf16ToUtf8(path), data);
}

ErrorCode WriteWholeFile(const std::string& path, ByteView data, FileUse use) {
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return err::kInvalidParameter;
    if (ErrorCode e = CreateFolders(dir)) return e;

    std::string temp = dir + "." + name + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return LastError();
    ErrorCode result = err::kSuccess;
    // An explicit mode, independent of the umask; ownership stays the writer's.
    if (fchmod(fd, use == FileUse::kExecutable ? 0755 : 0644) != 0) result = LastError();
    if (result == err::kSuccess) result = WriteAll(fd, data);
    if (result == err::kSuccess && fsync(fd) != 0) result = LastError();
    if (close(fd) != 0 && result == err::kSuccess) result = LastError();
    if (result == err::kSuccess && rename(temp.c_str(), path.c_str()) != 0)
        result = errno == EISDIR ? err::kAccessDenied : LastError(); // a folder by that name
    if (result != err::kSuccess) {
        unlink(temp.c_str());
        return result;
    }
    SyncFolder(dir);
    return err::kSuccess;
}

ErrorCode WriteWholeFile(const std::u16string& path, ByteView data, FileUse use) {
    return WriteWholeFile(Utf16ToUtf8(path), data, use);
}

ErrorCode DeleteFileForce(const std::string& path) {
    if (path.empty()) return err::kInvalidParameter;
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return err::kSuccess;
    return errno == EISDIR ? err::kAccessDenied : LastError();
}

ErrorCode DeleteFileForce(const std::u16string& path) {
    return DeleteFileForce(Utf16ToUtf8(path));
}

ErrorCode PrepareRootOnlyFolder(const std::string& path, std::string& resolved) {
    resolved.clear();
    if (geteuid() != 0) return err::kAccessDenied;
    if (path.empty() || path[0] != '/') return err::kInvalidParameter;
    struct stat st {};
    const bool existed = lstat(path.c_str(), &st) == 0;
    if (CreateFolders(path) != err::kSuccess) return err::kAccessDenied;
    char real[PATH_MAX];
    if (realpath(path.c_str(), real) == nullptr) return LastError();
    const std::string full = real;
    // Every folder from the root down must be closed to ordinary users, or one of them could
    // swap the folder (or a parent) for one holding their own executables.
    std::vector<std::string> folders{"/"};
    for (std::size_t p = full.find('/', 1);; p = full.find('/', p + 1)) {
        folders.push_back(full.substr(0, p));
        if (p == std::string::npos) break;
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (lstat(folders[i].c_str(), &st) != 0) return LastError();
        if (!RootOnly(st, i + 1 < folders.size())) return err::kAccessDenied;
    }
    // A folder made here gets its documented mode whatever the umask.
    if (!existed && chmod(full.c_str(), 0755) != 0) return LastError();
    resolved = full;
    return err::kSuccess;
}

ErrorCode AdminOnlyFolder(std::string& path) {
    return PrepareRootOnlyFolder(kAdminOnlyFolder, path);
}

// The program carries no resource section on Linux: executables that the Windows build embeds
// are not part of the Linux program, so there is nothing to extract.
ErrorCode ExtractBinaryResource(const char* /*modulePath*/, int /*id*/,
                                const std::string& /*fileName*/, std::string& writtenPath) {
    writtenPath.clear();
    return err::kNotSupported;
}

// Raw data resources are linked into the program as a table.
bool FindRcData(const char* name, ByteView& bytes) {
    return FindEmbeddedResource(name, bytes);
}

} // namespace tvd
