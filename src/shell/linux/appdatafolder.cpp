#include "shell/appdatafolder.h"

#include <filesystem>
#include <system_error>

namespace tvd {

ErrorCode EnsureAppDataFolder() {
    std::string folder;
    if (ErrorCode e = AppDataFolder(folder)) return e;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return ErrorFromErrno(ec.value());
    if (!std::filesystem::is_directory(folder, ec)) return err::kFileExists;
    return err::kSuccess;
}

} // namespace tvd
