// The refusals of a clone, checked before anything is written, for every front end: two whole
// disks that are not one, a target that is not the system's and holds nothing in use, equal
// logical sector sizes, and no source volume that changes while it is copied.
#pragma once
#include <cstdint>
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

// What tells two whole disks apart. A device number names one disk, but one unit reached by
// two paths (two controllers, no multipath driver) has two numbers: it shows the same serial
// number, size and table identity on both.
struct CloneDiskIdentity {
    std::string path;
    bool numbered = false; // the device number could be read
    std::uint32_t deviceType = 0;
    std::int64_t deviceNumber = -1;
    std::string serial;
    std::uint64_t length = 0;
    std::uint32_t style = 2; // as DriveLayout: 0 MBR, 1 GPT, 2 none
    std::uint32_t mbrSignature = 0;
    std::uint8_t gptDiskId[16] = {};
};
enum class SameDiskAnswer { kDifferent, kSame, kUnknown };
// kSame for one path (ignoring case and a leading "\\.\"), one device number, or the same
// non-empty serial with the same size and the same non-zero disk signature or GUID; kUnknown
// when a device number is missing (nothing then says the disks differ).
SameDiskAnswer CompareCloneDisks(const CloneDiskIdentity& a, const CloneDiskIdentity& b);
// Through the storage back end; false when the device cannot be opened at all.
bool CloneDiskIdentityOf(const std::string& path, CloneDiskIdentity& out);

// The platform's own test of two device paths naming one disk beyond the device number (Linux:
// loop devices and their backing files); false where there is none.
bool SameBackingDisk(const std::string& a, const std::string& b);

} // namespace tvd
