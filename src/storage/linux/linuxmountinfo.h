// Mounted file systems from /proc/self/mountinfo, for the mount points of a volume.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace tvd::linuxsys {

struct MountEntry {
    unsigned major = 0, minor = 0;
    std::string root, mountPoint, fsType, source;
};

// One entry per well-formed line; lines that do not parse are skipped. Fields are unescaped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);
// The kernel writes space, tab, newline and backslash in paths as \ooo (octal); other bytes as
// they are.
std::string UnescapeMountField(std::string_view field);
// Mount points of the block device `major`:`minor`, or of the mount source `sourcePath` (for
// file systems such as btrfs whose mountinfo numbers are not the device's), in mount order and
// without repeats.
std::vector<std::string> MountPointsOf(const std::vector<MountEntry>& mounts, unsigned major,
                                       unsigned minor, const std::string& sourcePath);

} // namespace tvd::linuxsys
