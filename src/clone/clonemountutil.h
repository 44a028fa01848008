// Whether a source volume is mounted writable: no snapshot protects a live volume (Linux has
// none; Windows has none until the snapshot service is embedded), so the clone refuses such a
// source unless a live copy is asked for.
#pragma once
#include <string>
#include <string_view>

namespace tvd {

// Linux: the device node's file system is mounted read-write somewhere (/proc/self/mountinfo).
// Windows: the volume path ("\\?\Volume{...}\") has a drive letter or folder and is not
// read-only. False for anything that is not a mounted volume.
bool IsMountedWritable(const std::string& deviceNode);
// The same decision over mountinfo text, for a device major:minor.
bool MountInfoWritable(std::string_view mountinfo, unsigned major, unsigned minor);

} // namespace tvd
