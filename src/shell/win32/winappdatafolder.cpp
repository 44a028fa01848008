#include "shell/appdatafolder.h"

#include "foundation/win32/winfileutil.h"

namespace tvd {

ErrorCode EnsureAppDataFolder() {
    std::u16string folder;
    return win::ProductDataFolderW(folder);
}

} // namespace tvd
