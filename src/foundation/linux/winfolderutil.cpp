// Folder queries on Linux: the shell folders that have an XDG or FHS counterpart map to it; the
// Windows folders and drive letters do not exist here and answer "not supported".
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "foundation/textconvutil.h"
#include "foundation/winfolderutila.h"
#include "foundation/winfolderutilw.h"

namespace tvd {

namespace {

ErrorCode HomeFolder(std::string& home) {
    const char* env = std::getenv("HOME");
    if (env != nullptr && env[0] == '/') {
        home = env;
        return err::kSuccess;
    }
    if (const passwd* pw = getpwuid(geteuid()); pw != nullptr && pw->pw_dir != nullptr) {
        home = pw->pw_dir;
        return err::kSuccess;
    }
    return err::kFileNotFound;
}

// An XDG base-directory variable; relative values are invalid and ignored.
ErrorCode XdgFolder(const char* variable, const char* homeRelative, std::string& path) {
    const char* env = std::getenv(variable);
    if (env != nullptr && env[0] == '/') {
        path = env;
        return err::kSuccess;
    }
    std::string home;
    if (ErrorCode e = HomeFolder(home)) return e;
    path = home + "/" + homeRelative;
    return err::kSuccess;
}

// XDG_DESKTOP_DIR from user-dirs.dirs ("$HOME/..." or an absolute path), else ~/Desktop.
ErrorCode DesktopFolder(std::string& path) {
    std::string home, config;
    if (ErrorCode e = HomeFolder(home)) return e;
    if (XdgFolder("XDG_CONFIG_HOME", ".config", config) == err::kSuccess) {
        std::ifstream dirs(config + "/user-dirs.dirs");
        std::string line;
        const std::string key = "XDG_DESKTOP_DIR=\"";
        while (std::getline(dirs, line)) {
            if (line.rfind(key, 0) != 0) continue;
            const auto close = line.find('"', key.size());
            if (close == std::string::npos) break;
            std::string value = line.substr(key.size(), close - key.size());
            if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
            if (!value.empty() && value[0] == '/') {
                path = value;
                return err::kSuccess;
            }
            break;
        }
    }
    path = home + "/Desktop";
    return err::kSuccess;
}

} // namespace

ErrorCode WindowsDirectory(std::string& path) {
    path.clear();
    return err::kNotSupported;
}

char WindowsDriveLetter() {
    return '\0';
}

ErrorCode NativeSystemDirectory(std::string& path) {
    path.clear();
    return err::kNotSupported;
}

ErrorCode ShellFolderPath(int csidlId, std::string& path) {
    path.clear();
    switch (csidlId) {
    case csidl::kAppData:
        return XdgFolder("XDG_CONFIG_HOME", ".config", path);
    case csidl::kLocalAppData:
        return XdgFolder("XDG_DATA_HOME", ".local/share", path);
    case csidl::kCommonAppData:
        path = "/var/lib";
        return err::kSuccess;
    case csidl::kDesktop:
    case csidl::kDesktopDirectory:
        return DesktopFolder(path);
    case csidl::kPersonal:
        return HomeFolder(path);
    default:
        return err::kNotSupported;
    }
}

char ShellFolderDriveLetter(int /*csidlId*/) {
    return '\0'; // no drive letters on Linux
}

ErrorCode ShellDisplayName(const std::string& path, std::string& name, int* iconIndex) {
    name.clear();
    if (iconIndex) *iconIndex = -1; // no system icon list
    if (path.empty()) return err::kInvalidParameter;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return ErrorFromErrno(errno);
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const auto slash = trimmed.rfind('/');
    name = (slash == std::string::npos || trimmed == "/") ? trimmed : trimmed.substr(slash + 1);
    return err::kSuccess;
}

ErrorCode WindowsDirectoryW(std::u16string& path) {
    path.clear();
    return err::kNotSupported;
}

ErrorCode NativeSystemDirectoryW(std::u16string& path) {
    path.clear();
    return err::kNotSupported;
}

ErrorCode ShellFolderPathW(int csidlId, std::u16string& path) {
    std::string narrow;
    const ErrorCode e = ShellFolderPath(csidlId, narrow);
    path = Utf8ToUtf16(narrow);
    return e;
}

ErrorCode ShellDisplayNameW(const std::u16string& path, std::u16string& name, int* iconIndex) {
    std::string narrow;
    const ErrorCode e = ShellDisplayName(Utf16ToUtf8(path), narrow, iconIndex);
    name = Utf8ToUtf16(narrow);
    return e;
}

} // namespace tvd
