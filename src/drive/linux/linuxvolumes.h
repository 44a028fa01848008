// The volumes of a Linux disk for its partition snapshot: the partitions sysfs lists under the
// disk, their mount points from mountinfo, and label and file-system type from the udev
// database. Paths are parameters, so tests run it on a directory tree they built.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "drive/fundiskpartitionsutil.h"
#include "storage/linux/linuxmountinfo.h"
#include "storage/linux/linuxsysfs.h"

namespace tvd::linuxsys {

class LinuxVolumeLookup : public VolumeLookup {
public:
    // `diskDir`: the sysfs directory of the disk; `devDir`: where its device nodes are named.
    LinuxVolumeLookup(const std::string& diskDir, std::vector<MountEntry> mounts,
                      std::string udevDataDir = "/run/udev/data", std::string devDir = "/dev");

    bool Find(std::uint64_t offset, VolumeMatch& out) const override;
    // Each path component is matched exactly first, then without regard to ASCII case: Windows
    // folders are seen through file systems that keep case.
    bool FileExists(const std::u16string& root, std::u16string_view relative) const override;

private:
    struct Volume {
        std::uint64_t start = 0; // bytes
        unsigned major = 0, minor = 0;
        std::string name;
    };
    std::vector<Volume> volumes_;
    std::vector<MountEntry> mounts_;
    std::string udevDataDir_, devDir_;
};

} // namespace tvd::linuxsys
