#include "clone/clonecheckutil.h"

#include <algorithm>

#include "clone/clclonesourcedisk.h"
#include "foundation/textconvutil.h"
#include "jobs/fundiskeraseutil.h"
#include "storage/storageplatform.h"

namespace tvd {

namespace {

struct RefusalName {
    CloneRefusal r;
    const char* code;
    const char* text;
};
constexpr RefusalName kNames[] = {
    {CloneRefusal::kNone, "none", "nothing refuses the clone"},
    {CloneRefusal::kNotWholeDisk, "not-whole-disk", "source and target must be whole disks"},
    {CloneRefusal::kSameDisk, "same-disk", "source and target are the same disk"},
    {CloneRefusal::kSystemDisk, "system-disk", "the target is the system disk"},
    {CloneRefusal::kMountedVolume, "mounted", "a volume of the target is mounted"},
    {CloneRefusal::kSwap, "swap", "the target holds active swap space"},
    {CloneRefusal::kHolder, "held", "the target is held by another device"},
    {CloneRefusal::kTargetInUse, "in-use", "the target is in use and cannot be opened alone"},
    {CloneRefusal::kUseUnknown, "use-unknown", "whether the target is in use cannot be told"},
    {CloneRefusal::kSectorSize, "sector-size",
     "the logical sector sizes of source and target differ"},
    {CloneRefusal::kDoesNotFit, "does-not-fit", "the source does not fit on the target"},
    {CloneRefusal::kSourceLive, "source-mounted-writable",
     "a source volume is mounted writable and would be copied while it changes (--live copies it "
     "anyway)"},
};

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

} // namespace

const char* CloneRefusalText(CloneRefusal r) {
    for (const RefusalName& n : kNames)
        if (n.r == r) return n.text;
    return "refused";
}

const char* CloneRefusalCode(CloneRefusal r) {
    for (const RefusalName& n : kNames)
        if (n.r == r) return n.code;
    return "refused";
}

namespace {

std::string WithoutDevicePrefix(const std::string& p) {
    for (const char* prefix : {"\\\\.\\", "\\\\?\\"})
        if (p.rfind(prefix, 0) == 0) return p.substr(4);
    return p;
}

bool SameTableIdentity(const CloneDiskIdentity& a, const CloneDiskIdentity& b) {
    if (a.style != b.style) return false;
    if (a.style == 0) return a.mbrSignature != 0 && a.mbrSignature == b.mbrSignature;
    if (a.style != 1) return false;
    bool zero = true;
    for (std::uint8_t v : a.gptDiskId)
        zero = zero && v == 0;
    return !zero && std::equal(a.gptDiskId, a.gptDiskId + 16, b.gptDiskId);
}

} // namespace

SameDiskAnswer CompareCloneDisks(const CloneDiskIdentity& a, const CloneDiskIdentity& b) {
    if (!a.path.empty() &&
        SameIgnoringCase(WithoutDevicePrefix(a.path), WithoutDevicePrefix(b.path)))
        return SameDiskAnswer::kSame;
    if (!a.numbered || !b.numbered || a.deviceNumber < 0 || b.deviceNumber < 0)
        return SameDiskAnswer::kUnknown;
    if (a.deviceType == b.deviceType && a.deviceNumber == b.deviceNumber)
        return SameDiskAnswer::kSame;
    if (!a.serial.empty() && a.serial == b.serial && a.length != 0 && a.length == b.length &&
        SameTableIdentity(a, b))
        return SameDiskAnswer::kSame;
    return SameDiskAnswer::kDifferent;
}

bool CloneDiskIdentityOf(const std::string& path, CloneDiskIdentity& out) {
    CloneDiskIdentity id;
    id.path = path;
    DeviceHandle h;
    if (Storage().Open(path, h) != err::kSuccess) return false;
    StorageDeviceNumber number;
    if (Storage().GetDeviceNumber(h, number) == err::kSuccess && number.deviceNumber >= 0) {
        id.numbered = true;
        id.deviceType = number.deviceType;
        id.deviceNumber = number.deviceNumber;
    }
    StorageDeviceDescriptor descriptor;
    if (Storage().QueryDeviceDescriptor(h, descriptor) == err::kSuccess)
        id.serial = descriptor.serial;
    if (Storage().GetLength(h, id.length) != err::kSuccess) id.length = 0;
    DriveLayout layout;
    if (Storage().GetDriveLayout(h, layout) == err::kSuccess) {
        id.style = layout.style;
        id.mbrSignature = layout.mbrSignature;
        std::copy(layout.gptDiskId, layout.gptDiskId + 16, id.gptDiskId);
    }
    out = std::move(id);
    return true;
}

CloneRefusal CheckClonePaths(const std::string& source, const std::string& target,
                             std::string* detail) {
    if (detail) detail->clear();
    if (source.empty() || target.empty()) return CloneRefusal::kNotWholeDisk;
    if (SameIgnoringCase(source, target) || SameBackingDisk(source, target))
        return CloneRefusal::kSameDisk;
    CloneDiskIdentity a, b;
    // A device that cannot be opened is refused by the open that follows, with its own error.
    if (CloneDiskIdentityOf(source, a) && CloneDiskIdentityOf(target, b)) {
        switch (CompareCloneDisks(a, b)) {
        case SameDiskAnswer::kSame:
            return CloneRefusal::kSameDisk;
        case SameDiskAnswer::kUnknown:
            if (detail)
                *detail = "the device number of " + (a.numbered ? target : source) +
                          " cannot be read, so the two cannot be told apart";
            return CloneRefusal::kSameDisk;
        case SameDiskAnswer::kDifferent:
            break;
        }
    }
    std::string where;
    switch (CheckErasePathAllowed(target, &where)) {
    case EraseRefusal::kNone:
        return CloneRefusal::kNone;
    case EraseRefusal::kSystemDisk:
        return CloneRefusal::kSystemDisk;
    case EraseRefusal::kMountedVolume:
        if (detail) *detail = where;
        return CloneRefusal::kMountedVolume;
    case EraseRefusal::kSwap:
        if (detail) *detail = where;
        return CloneRefusal::kSwap;
    case EraseRefusal::kHolder:
        if (detail) *detail = where;
        return CloneRefusal::kHolder;
    case EraseRefusal::kDetached:
        return CloneRefusal::kNotWholeDisk;
    default:
        return CloneRefusal::kUseUnknown;
    }
}

bool LiveSourceVolume(const clCloneSourceDisk& source) {
    for (clZoltObject* o : source.drives) {
        const auto* d = static_cast<const clFunDrive*>(o);
        if (d->selected && d->mountedWritable) return true;
    }
    return false;
}

CloneRefusal CheckCloneDisks(const clCloneSourceDisk& source, const clCustomDiskObject& target,
                             bool live, std::string* detail) {
    if (detail) detail->clear();
    if (source.bytesPerSector != target.bytesPerSector) {
        if (detail)
            *detail = std::to_string(source.bytesPerSector) + " and " +
                      std::to_string(target.bytesPerSector) + " bytes";
        return CloneRefusal::kSectorSize;
    }
    if (!live)
        for (clZoltObject* o : source.drives) {
            const auto* d = static_cast<const clFunDrive*>(o);
            if (d->selected && d->mountedWritable) {
                if (detail) *detail = Utf16ToUtf8(d->volumePath);
                return CloneRefusal::kSourceLive;
            }
        }
    return CloneRefusal::kNone;
}

} // namespace tvd
