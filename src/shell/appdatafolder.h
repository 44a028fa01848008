// The application data folder and its "Config.ini". Windows: "Zolt\VornaTarvikdorn" in the
// common application data folder; Linux: "Tarvikdorn" in the user's configuration folder.
#pragma once
#include <string>

#include "foundation/errorcodes.h"

namespace tvd {

ErrorCode AppDataFolder(std::string& path);
ErrorCode ConfigIniPath(std::string& path);

// Creates the folder with its missing parents. Windows: data files inside get full access for
// the local Users group, but neither the folder nor "Zolt" above it lets non-administrators
// delete, rename or replace what they hold (the admin-only folder for executables lives
// inside). Linux: the user's own folder, no grants.
ErrorCode EnsureAppDataFolder();

} // namespace tvd
