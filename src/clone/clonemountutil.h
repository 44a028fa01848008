// Whether a source volume is mounted writable: on Linux, where no snapshot protects a live
// volume, the clone refuses such a source unless a live copy is asked for.
#pragma once
#include <string>
#include <string_view>

namespace tvd {

// The device node's file system is mounted read-write somewhere (Linux, /proc/self/mountinfo);
// false elsewhere and for anything that is not a mounted block device.
bool IsMountedWritable(const std::string& deviceNode);
// The same decision over mountinfo text, for a device major:minor.
bool MountInfoWritable(std::string_view mountinfo, unsigned major, unsigned minor);

} // namespace tvd
