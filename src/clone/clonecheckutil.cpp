#include "clone/clonecheckutil.h"

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

bool DeviceNumberOf(const std::string& path, StorageDeviceNumber& out) {
    DeviceHandle h;
    if (Storage().Open(path, h) != err::kSuccess) return false;
    return Storage().GetDeviceNumber(h, out) == err::kSuccess;
}

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

CloneRefusal CheckClonePaths(const std::string& source, const std::string& target,
                             std::string* detail) {
    if (detail) detail->clear();
    if (source.empty() || target.empty()) return CloneRefusal::kNotWholeDisk;
    StorageDeviceNumber a, b;
    if (SameIgnoringCase(source, target) ||
        (DeviceNumberOf(source, a) && DeviceNumberOf(target, b) && a.deviceType == b.deviceType &&
         a.deviceNumber == b.deviceNumber) ||
        SameBackingDisk(source, target))
        return CloneRefusal::kSameDisk;
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
