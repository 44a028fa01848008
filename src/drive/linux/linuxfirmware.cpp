// The firmware revision Linux reports beside the drive's identify data: the NVMe firmware slot
// log, then the revision sysfs shows for the block device.
#include "drive/fundiskfwutil.h"

namespace tvd {

std::string PlatformFirmwareRevision(const PlatformFirmwareTarget& target) {
    std::string revision = NvmeActiveFirmwareRevision(target.nvme);
    if (!revision.empty()) return revision;
    const std::size_t cut = target.devicePath.find_last_of('/');
    if (cut == std::string::npos || cut + 1 == target.devicePath.size()) return {};
    return SysfsFirmwareRevision(target.sysfsBlockRoot + "/" + target.devicePath.substr(cut + 1));
}

} // namespace tvd
