// The refusals of a clone, checked before anything is written, for every front end: two whole
// disks that are not one, a target that is not the system's and holds nothing in use, equal
// logical sector sizes, and no source volume that changes while it is copied.
#pragma once
#include <string>

namespace tvd {

class clCloneSourceDisk;
class clCustomDiskObject;

enum class CloneRefusal {
    kNone,
    kNotWholeDisk,
    kSameDisk,
    kSystemDisk,
    kMountedVolume,
    kSwap,
    kHolder,
    kTargetInUse,
    kUseUnknown,
    kSectorSize,
    kDoesNotFit,
    kSourceLive,
};

const char* CloneRefusalText(CloneRefusal r);
// A stable word for scripts ("same-disk", "system-disk" ...).
const char* CloneRefusalCode(CloneRefusal r);

// Before the disks are opened: the same disk (one device, or on Linux two loop devices over one
// file, or one stacked on the other), and the target's use (system disk, mounted, swap, held).
CloneRefusal CheckClonePaths(const std::string& source, const std::string& target,
                             std::string* detail = nullptr);
// With both open: sector sizes, and a source volume mounted writable unless `live`.
CloneRefusal CheckCloneDisks(const clCloneSourceDisk& source, const clCustomDiskObject& target,
                             bool live, std::string* detail = nullptr);
// A source volume is mounted writable (copied live).
bool LiveSourceVolume(const clCloneSourceDisk& source);

// The platform's own test of two device paths naming one disk beyond the device number (Linux:
// loop devices and their backing files); false where there is none.
bool SameBackingDisk(const std::string& a, const std::string& b);

} // namespace tvd
