// The Linux facts of a disk's use, from texts the system gives (mountinfo) and what was found
// of its block devices (numbers, holders, active swap), kept apart from the reading so that
// they can be checked on their own.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "jobs/fundiskeraseutil.h"

namespace tvd::linuxsys {

// The disk or one of its partitions.
struct EraseNode {
    std::string devPath;
    unsigned major = 0, minor = 0;
    std::vector<std::string> holders; // entries of its sysfs "holders" folder
    bool swap = false;                // active swap (/proc/swaps)
};

// Mount points on any node make a mounted volume, "/", "/usr", "/boot" and "/boot/efi" the
// system disk; swap and holders as found.
void EraseFactsOf(const std::vector<EraseNode>& nodes, std::string_view mountinfo,
                  EraseDiskFacts& facts);

} // namespace tvd::linuxsys
