// The firmware revision Windows reports beside the drive's identify data: the storage stack's
// firmware query, which exists from Windows 10 on.
#include "drive/fundiskfwutil.h"
#include "foundation/envutil.h"

namespace tvd {

std::string PlatformFirmwareRevision(const PlatformFirmwareTarget& target) {
    if (!IsWin10OrLater()) return {};
    return StorageFirmwareRevision(target.handle);
}

} // namespace tvd
