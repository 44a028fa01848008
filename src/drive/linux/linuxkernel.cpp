#include <fcntl.h>
#include <cerrno>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "drive/kernelfun.h"
#include "foundation/textconvutil.h"
#include "storage/linux/linuxsysfs.h"

namespace tvd {

// The root file system's block device: a partition gives its disk and start (sysfs counts in
// 512-byte units whatever the logical sector size); a whole disk gives offset 0. Device-mapper
// and md volumes have no single disk under them.
bool LocateSystemVolume(SystemVolume& out) {
    struct stat st {};
    if (stat("/", &st) != 0 || major(st.st_dev) == 0) return false;
    const std::string node =
        linuxsys::Canonical("/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                            std::to_string(minor(st.st_dev)));
    if (node.empty()) return false;
    std::uint64_t start = 0;
    if (linuxsys::IsPartitionDir(node) && !linuxsys::ReadAttrU64(node, "start", start))
        return false;
    const std::string disk = linuxsys::DiskDirOf(node);
    if (linuxsys::ClassifyDisk(disk) == linuxsys::DiskKind::kNone) return false;
    out.diskPath = "/dev/" + linuxsys::BaseName(disk);
    out.offset = start * 512;
    return true;
}

} // namespace tvd

namespace tvd {

void KernelPlatformInitialize() {}

// Linux has no window messages: device events arrive through the poll.
void KernelMessage(std::uint32_t, std::uintptr_t, std::intptr_t) {}

} // namespace tvd

namespace tvd {

ErrorCode UpdateDiskProperties(const std::string& diskPath) {
    const int fd = open(diskPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno);
    // The kernel refuses while a partition is open, and udev opens them to probe each disk that
    // was just written and closed: the old partitions would stay listed after an erase. Such
    // opens are brief, so a busy answer is retried a bounded number of times.
    constexpr int kBusyTries = 30;
    int rc = -1, saved = 0;
    for (int i = 0; i < kBusyTries; ++i) {
        rc = ioctl(fd, BLKRRPART);
        saved = errno;
        if (rc == 0 || saved != EBUSY) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    close(fd);
    return rc == 0 ? err::kSuccess : ErrorFromErrno(saved);
}

} // namespace tvd
