// What Linux knows of a disk's use: its and its partitions' mounts (mountinfo), active swap
// (/proc/swaps) and holders (dm, md under sysfs "holders"). The root file system's disk is the
// system disk.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "jobs/linux/linuxerasefacts.h"
#include "storage/linux/linuxmountinfo.h"
#include "storage/linux/linuxsysfs.h"

namespace tvd {

namespace {

struct BlockNode {
    std::string sysDir; // /sys/dev/block/M:m resolved
    std::string devPath;
    dev_t rdev = 0;
};

std::string ReadSmallFile(const char* path) {
    std::ifstream f(path, std::ios::binary);
    std::string text;
    // Bounded: these files are small, a huge one is not read past 4 MiB.
    text.resize(4u << 20);
    f.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(f.gcount()));
    return text;
}

// The disk and its partitions, by their sysfs directories.
std::vector<BlockNode> NodesOf(dev_t disk) {
    std::vector<BlockNode> nodes;
    const std::string dir = linuxsys::Canonical("/sys/dev/block/" + std::to_string(major(disk)) +
                                                ":" + std::to_string(minor(disk)));
    if (dir.empty()) return nodes;
    nodes.push_back({dir, "/dev/" + linuxsys::BaseName(dir), disk});
    for (const std::string& name : linuxsys::ListDir(dir)) {
        const std::string sub = dir + "/" + name;
        if (!linuxsys::IsPartitionDir(sub)) continue;
        const std::string dev = linuxsys::ReadAttr(sub, "dev");
        unsigned ma = 0, mi = 0;
        if (std::sscanf(dev.c_str(), "%u:%u", &ma, &mi) != 2) continue;
        nodes.push_back({sub, "/dev/" + name, makedev(ma, mi)});
    }
    return nodes;
}

} // namespace

void linuxsys::EraseFactsOf(const std::vector<EraseNode>& nodes, std::string_view mountinfo,
                            EraseDiskFacts& facts) {
    facts = EraseDiskFacts{};
    const auto mounts = ParseMountInfo(mountinfo);
    for (const EraseNode& n : nodes) {
        for (const std::string& p : MountPointsOf(mounts, n.major, n.minor, n.devPath)) {
            if (facts.where.empty()) facts.where = n.devPath + " on " + p;
            facts.mountedVolume = true;
            if (p == "/" || p == "/usr" || p == "/boot" || p == "/boot/efi")
                facts.systemDisk = true;
        }
    }
    for (const EraseNode& n : nodes) {
        if (!n.swap) continue;
        facts.swap = true;
        if (facts.where.empty()) facts.where = n.devPath + " is swap";
    }
    for (const EraseNode& n : nodes) {
        if (n.holders.empty()) continue;
        facts.holder = true;
        if (facts.where.empty()) facts.where = n.devPath + " held by " + n.holders.front();
    }
}

ErrorCode NativeEraseFacts(const std::string& path, EraseDiskFacts& facts) {
    facts = EraseDiskFacts{};
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return ErrorFromErrno(errno);
    if (!S_ISBLK(st.st_mode)) return err::kFileNotFound;
    const std::vector<BlockNode> blocks = NodesOf(st.st_rdev);
    if (blocks.empty()) return err::kFileNotFound;
    const std::string info = ReadSmallFile("/proc/self/mountinfo");
    if (info.empty()) return err::kNotSupported; // no view of the mounts: refuse, do not guess

    std::vector<dev_t> swaps;
    std::istringstream lines(ReadSmallFile("/proc/swaps"));
    std::string line;
    std::getline(lines, line); // heading
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string file;
        fields >> file;
        struct stat sw {};
        if (!file.empty() && ::stat(linuxsys::UnescapeMountField(file).c_str(), &sw) == 0 &&
            S_ISBLK(sw.st_mode))
            swaps.push_back(sw.st_rdev);
    }

    std::vector<linuxsys::EraseNode> nodes;
    for (const BlockNode& b : blocks) {
        linuxsys::EraseNode n;
        n.devPath = b.devPath;
        n.major = major(b.rdev);
        n.minor = minor(b.rdev);
        n.holders = linuxsys::ListDir(b.sysDir + "/holders");
        for (dev_t s : swaps)
            if (s == b.rdev) n.swap = true;
        nodes.push_back(std::move(n));
    }
    linuxsys::EraseFactsOf(nodes, info, facts);
    return err::kSuccess;
}

// A namespace's sysfs directory lies in its controller's (…/nvme/nvme0/nvme0n1); the other
// block devices there (nvme0n2, …) are the controller's other namespaces.
ErrorCode NativeSanitizeSiblings(const std::string& path, std::vector<std::string>& siblings) {
    siblings.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return ErrorFromErrno(errno);
    if (!S_ISBLK(st.st_mode)) return err::kFileNotFound;
    const std::string dir =
        linuxsys::Canonical("/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" +
                            std::to_string(minor(st.st_rdev)));
    if (dir.empty()) return err::kFileNotFound;
    const std::string self = linuxsys::BaseName(dir);
    const std::string controllerDir = dir.substr(0, dir.size() - self.size() - 1);
    const std::string controller = linuxsys::BaseName(controllerDir);
    if (controller.rfind("nvme", 0) != 0 || self.rfind(controller + "n", 0) != 0)
        return err::kSuccess; // not an NVMe namespace
    for (const std::string& name : linuxsys::ListDir(controllerDir)) {
        if (name == self || name.rfind(controller + "n", 0) != 0) continue;
        if (linuxsys::ReadAttr(controllerDir + "/" + name, "dev").empty()) continue;
        siblings.push_back("/dev/" + name);
    }
    return err::kSuccess;
}

ErrorCode NativeFlushDiskBuffers(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno);
    const int rc = ::ioctl(fd, BLKFLSBUF, 0);
    const int saved = errno;
    ::close(fd);
    return rc == 0 ? err::kSuccess : ErrorFromErrno(saved);
}

// Linux has no volume lock: a mounted, swapped or held disk is refused, and the erase opens the
// disk exclusively.
ErrorCode NativeLockEraseVolumes(const std::string& path, EraseVolumeLock& lock,
                                 std::string& where) {
    (void)path;
    lock.Release();
    where.clear();
    return err::kNotSupported;
}

} // namespace tvd
