#include "shell/appdatafolder.h"

#include "foundation/winfolderutila.h"

namespace tvd {

namespace {
#ifdef _WIN32
constexpr int kBaseFolder = csidl::kCommonAppData;
constexpr const char* kSubFolder = "Zolt\\VornaTarvikdorn";
constexpr char kSeparator = '\\';
#else
constexpr int kBaseFolder = csidl::kAppData;
constexpr const char* kSubFolder = "Tarvikdorn";
constexpr char kSeparator = '/';
#endif
} // namespace

ErrorCode AppDataFolder(std::string& path) {
    path.clear();
    std::string base;
    if (ErrorCode e = ShellFolderPath(kBaseFolder, base)) return e;
    if (base.empty()) return err::kPathNotFound;
    if (base.back() != kSeparator) base += kSeparator;
    path = base + kSubFolder;
    return err::kSuccess;
}

ErrorCode ConfigIniPath(std::string& path) {
    if (ErrorCode e = AppDataFolder(path)) return e;
    path += kSeparator;
    path += "Config.ini";
    return err::kSuccess;
}

} // namespace tvd
