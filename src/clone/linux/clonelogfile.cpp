// The clone log on Linux: the desktop of the user who runs the program (the one who called sudo
// when it runs through sudo), a new folder made there, and the file created inside it through
// the folder's descriptor with O_EXCL | O_NOFOLLOW; under sudo both are given to that user.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "clone/clonelogfileutil.h"
#include "foundation/textconvutil.h"

namespace tvd {

namespace {

struct Owner {
    bool sudo = false;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
};

Owner InvokingUser() {
    Owner o;
    o.uid = ::geteuid();
    o.gid = ::getegid();
    const char* sudoUser = std::getenv("SUDO_USER");
    if (o.uid == 0 && sudoUser && *sudoUser) {
        if (const passwd* pw = ::getpwnam(sudoUser); pw && pw->pw_uid != 0) {
            o.sudo = true;
            o.uid = pw->pw_uid;
            o.gid = pw->pw_gid;
            o.home = pw->pw_dir ? pw->pw_dir : "";
            return o;
        }
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        o.home = home;
    } else if (const passwd* pw = ::getpwuid(o.uid); pw && pw->pw_dir) {
        o.home = pw->pw_dir;
    }
    return o;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// XDG_DESKTOP_DIR from user-dirs.dirs: "$HOME/..." or an absolute path, in double quotes.
std::string XdgDesktop(const Owner& o) {
    std::string config;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); !o.sudo && x && *x == '/')
        config = x;
    else
        config = o.home + "/.config";
    std::ifstream f(config + "/user-dirs.dirs");
    std::string line;
    for (int lines = 0; lines < 1000 && std::getline(f, line); ++lines) {
        static constexpr std::string_view kKey = "XDG_DESKTOP_DIR=\"";
        if (line.rfind(kKey, 0) != 0) continue;
        const std::size_t end = line.find('"', kKey.size());
        if (end == std::string::npos) return {};
        std::string value = line.substr(kKey.size(), end - kKey.size());
        if (value.rfind("$HOME", 0) == 0) value = o.home + value.substr(5);
        if (value.empty() || value[0] != '/' || value.find("/..") != std::string::npos) return {};
        // "$HOME/" alone means no desktop folder.
        while (value.size() > 1 && value.back() == '/')
            value.pop_back();
        return value == o.home ? std::string() : value;
    }
    return {};
}

} // namespace

struct CloneLogFile::Impl {
    int dir = -1;
    int fd = -1;
    std::string name; // of the folder, inside `parent`
    int parent = -1;
};

CloneLocalTime CloneLocalTimeNow() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    ::localtime_r(&ts.tv_sec, &local);
    CloneLocalTime t;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
    t.millisecond = int(ts.tv_nsec / 1000000);
    return t;
}

ErrorCode CloneLogBaseFolder(std::u16string& folder) {
    const Owner o = InvokingUser();
    std::string dir = XdgDesktop(o);
    if (!IsDirectory(dir)) dir = o.home + "/Desktop";
    if (!IsDirectory(dir)) dir = o.home;
    if (!IsDirectory(dir)) return err::kPathNotFound;
    folder = Utf8ToUtf16(dir);
    return err::kSuccess;
}

CloneLogFile::CloneLogFile() : impl_(std::make_unique<Impl>()) {}

CloneLogFile::~CloneLogFile() {
    Close();
    if (impl_->dir >= 0) ::close(impl_->dir);
    if (impl_->parent >= 0) ::close(impl_->parent);
}

bool CloneLogFile::IsOpen() const {
    return impl_->fd >= 0;
}

ErrorCode CloneLogFile::Create(const std::u16string& base, const CloneLocalTime& t) {
    if (IsOpen()) return err::kSuccess;
    if (impl_->dir >= 0) ::close(impl_->dir);
    if (impl_->parent >= 0) ::close(impl_->parent);
    impl_->dir = impl_->parent = -1;
    const Owner o = InvokingUser();
    const std::string baseUtf8 = Utf16ToUtf8(base);
    const int parent = ::open(baseUtf8.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) return ErrorFromErrno(errno);
    // A folder that someone else owns is no place for a file the administrator writes.
    struct stat st {};
    if (::fstat(parent, &st) != 0 || (st.st_uid != 0 && st.st_uid != o.uid) ||
        (o.sudo && st.st_uid != o.uid && st.st_uid != 0)) {
        ::close(parent);
        return err::kAccessDenied;
    }
    ErrorCode e = err::kAlreadyExists;
    for (unsigned attempt = 1; attempt <= kCloneLogFolderTries; ++attempt) {
        const std::string name = Utf16ToUtf8(CloneLogFolderName(t, attempt));
        if (::mkdirat(parent, name.c_str(), 0755) != 0) {
            if (errno == EEXIST) continue;
            e = ErrorFromErrno(errno);
            break;
        }
        const int dir =
            ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir < 0) {
            e = ErrorFromErrno(errno);
            break;
        }
        const int fd =
            ::openat(dir, "Log.TXT", O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            e = ErrorFromErrno(errno);
            ::close(dir);
            ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
            break;
        }
        if (o.sudo) {
            (void)::fchown(dir, o.uid, o.gid);
            (void)::fchown(fd, o.uid, o.gid);
        }
        impl_->parent = parent;
        impl_->dir = dir;
        impl_->fd = fd;
        impl_->name = name;
        folder_ = base + u"/" + Utf8ToUtf16(name);
        path_ = folder_ + u"/" + kCloneLogFileName;
        static const std::vector<std::uint8_t> kBom = {0xFF, 0xFE};
        e = Write(kBom);
        if (e != err::kSuccess) {
            Close();
            Discard();
        }
        return e;
    }
    ::close(parent);
    return e;
}

ErrorCode CloneLogFile::Write(const std::vector<std::uint8_t>& bytes) {
    if (!IsOpen()) return err::kInvalidHandle;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(impl_->fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ErrorFromErrno(errno);
        if (n == 0) return err::kWriteFault;
        done += std::size_t(n);
    }
    return err::kSuccess;
}

void CloneLogFile::Close() {
    if (impl_->fd >= 0) ::close(impl_->fd);
    impl_->fd = -1;
}

ErrorCode CloneLogFile::Discard() {
    Close();
    if (impl_->dir < 0 || impl_->parent < 0) return err::kFileNotFound;
    ErrorCode e = err::kSuccess;
    if (::unlinkat(impl_->dir, "Log.TXT", 0) != 0)
        e = ErrorFromErrno(errno);
    else
        ::unlinkat(impl_->parent, impl_->name.c_str(), AT_REMOVEDIR);
    ::close(impl_->dir);
    ::close(impl_->parent);
    impl_->dir = impl_->parent = -1;
    return e;
}

} // namespace tvd
