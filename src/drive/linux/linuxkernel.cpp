#include <fcntl.h>
#include <cerrno>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <sys/sysmacros.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <system_error>
#include <filesystem>

#include "drive/kernelfun.h"
#include "foundation/textconvutil.h"

namespace tvd {

namespace {

bool ReadNumber(const std::filesystem::path& file, std::uint64_t& out) {
    std::ifstream in(file);
    return static_cast<bool>(in >> out);
}

} // namespace

// The root file system's block device: a partition gives its parent disk and start sector
// (sysfs counts in 512-byte units whatever the logical sector size); a whole disk gives offset 0.
bool LocateSystemVolume(SystemVolume& out) {
    struct stat st {};
    if (stat("/", &st) != 0 || major(st.st_dev) == 0) return false;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path node =
        fs::canonical(fs::path("/sys/dev/block") / (std::to_string(major(st.st_dev)) + ":" +
                                                    std::to_string(minor(st.st_dev))),
                      ec);
    if (ec) return false;
    std::uint64_t start = 0;
    fs::path disk = node;
    if (fs::exists(node / "partition", ec)) {
        if (!ReadNumber(node / "start", start)) return false;
        disk = node.parent_path();
    }
    // A device-mapper or md volume has no single disk under it.
    if (!fs::exists(disk / "device", ec)) return false;
    out.diskPath = "/dev/" + disk.filename().string();
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

bool VolumeSpaceOf(const std::u16string& root, std::uint64_t& total, std::uint64_t& free) {
    struct statvfs st {};
    if (root.empty() || statvfs(Utf16ToUtf8(root).c_str(), &st) != 0) return false;
    total = static_cast<std::uint64_t>(st.f_blocks) * st.f_frsize;
    free = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    return true;
}

ErrorCode UpdateDiskProperties(const std::string& diskPath) {
    const int fd = open(diskPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return err::kFileNotFound;
    const int rc = ioctl(fd, BLKRRPART);
    const int saved = errno;
    close(fd);
    if (rc == 0) return err::kSuccess;
    return saved == EBUSY ? err::kSharingViolation : err::kGenFailure;
}

} // namespace tvd
