#include "jobs/fundiskeraseutil.h"

#include <array>

#include "foundation/bytesutil.h"
#include "storage/clata.h"
#include "storage/clnvme.h"
#include "storage/deviceregistry.h"
#include "storage/nvmeidentifyutil.h"
#include "storage/storageplatform.h"
#include "storage/storagetypes.h"

namespace tvd {

namespace {

bool TrimEnabled(clFunDisk* fd) {
    if (!fd->disk || !fd->disk->GetPath()) return false;
    DeviceHandle h;
    if (Storage().Open(fd->disk->GetPath(), h) != err::kSuccess) return false;
    bool enabled = false;
    return Storage().QueryTrimEnabled(h, enabled) == err::kSuccess && enabled;
}

std::uint32_t NvmeSanicap(clFunDisk* fd) {
    if (!fd->nvme) return 0;
    std::array<std::uint8_t, 4096> ctrl{};
    if (!fd->nvme->IdentifyNvme(0, 1, ctrl)) return 0;
    return nvmeid::Sanicap(ctrl);
}

} // namespace

bool AtaSecuritySupported(ByteView identify) {
    std::uint16_t major = 0, w82 = 0;
    if (!LoadLe(identify, 80 * 2, major) || !LoadLe(identify, 82 * 2, w82)) return false;
    // Word 80: 0000h and FFFFh name no version; bit 3 is ATA-3.
    if (major == 0xFFFF || (major & 0xFFF8) == 0) return false;
    return w82 != 0xFFFF && (w82 & 0x0002) != 0;
}

bool EraseMethodApplies(clFunDisk* fd, std::uint8_t method) {
    if (!fd || fd->Detached()) return false;
    switch (method) {
    case erasemethod::kTrim:
        return TrimEnabled(fd);
    case erasemethod::kNvmeSanitize:
        return fd->busType == bustype::kUsb && NvmeSanicap(fd) != 0;
    case erasemethod::kScsiSanitize:
        return fd->busType == bustype::kNvme && fd->scsi.scsi != nullptr;
    case erasemethod::kAtaSecurity:
        return fd->ata && AtaSecuritySupported(AtaIdentifyOf(fd->ata.get()));
    default:
        return false;
    }
}

std::uint8_t EraseMethodFor(clFunDisk* fd) {
    for (std::uint8_t m : {erasemethod::kTrim, erasemethod::kNvmeSanitize,
                           erasemethod::kScsiSanitize, erasemethod::kAtaSecurity})
        if (EraseMethodApplies(fd, m)) return m;
    return erasemethod::kNone;
}

std::uint8_t EraseMethodByName(const std::string& name) {
    for (std::uint8_t m : {erasemethod::kTrim, erasemethod::kNvmeSanitize,
                           erasemethod::kScsiSanitize, erasemethod::kAtaSecurity})
        if (name == EraseMethodName(m)) return m;
    return erasemethod::kNone;
}

const char* EraseMethodName(std::uint8_t method) {
    switch (method) {
    case erasemethod::kTrim:
        return "trim";
    case erasemethod::kAtaSecurity:
        return "ata-security";
    case erasemethod::kNvmeSanitize:
        return "nvme-sanitize";
    case erasemethod::kScsiSanitize:
        return "scsi-sanitize";
    default:
        return "none";
    }
}

ErrorCode QueryEraseFacts(const std::string& path, EraseDiskFacts& facts) {
    facts = EraseDiskFacts{};
    if (path.empty()) return err::kInvalidParameter;
    CloneDiskFacts clone;
    const ErrorCode e = Storage().QueryCloneFacts(path, clone);
    if (e == err::kSuccess) {
        facts.systemDisk = clone.systemDisk;
        facts.mountedVolume = clone.mountedVolume;
        return err::kSuccess;
    }
    // Only the platform's own back end may be asked about the machine's own disks.
    // (by name: a tracing back end stands in front of the one it passes to).
    if (e != err::kNotSupported || std::string(Storage().Name()) != NativeStorage().Name())
        return e;
    return NativeEraseFacts(path, facts);
}

EraseRefusal CheckEraseAllowed(clFunDisk* fd, std::string* where) {
    if (where) where->clear();
    if (!fd || fd->Detached() || !fd->disk->GetPath()) return EraseRefusal::kDetached;
    return CheckErasePathAllowed(fd->disk->GetPath(), where);
}

EraseRefusal CheckErasePathAllowed(const std::string& path, std::string* where) {
    if (where) where->clear();
    if (path.empty()) return EraseRefusal::kDetached;
    EraseDiskFacts facts;
    const ErrorCode e = QueryEraseFacts(path, facts);
    if (e == err::kFileNotFound || e == err::kDeviceNotConnected) return EraseRefusal::kDetached;
    if (e != err::kSuccess) return EraseRefusal::kUseUnknown;
    if (where) *where = facts.where;
    if (facts.systemDisk) return EraseRefusal::kSystemDisk;
    if (facts.mountedVolume) return EraseRefusal::kMountedVolume;
    if (facts.swap) return EraseRefusal::kSwap;
    if (facts.holder) return EraseRefusal::kHolder;
    return EraseRefusal::kNone;
}

bool EraseMethodIsSanitize(std::uint8_t method) {
    return method == erasemethod::kNvmeSanitize || method == erasemethod::kScsiSanitize;
}

EraseRefusal CheckSanitizeAllowed(clFunDisk* fd, std::string* where) {
    if (where) where->clear();
    if (!fd || fd->Detached() || !fd->disk->GetPath()) return EraseRefusal::kDetached;
    return CheckSanitizePathAllowed(fd->disk->GetPath(), where);
}

EraseRefusal CheckSanitizePathAllowed(const std::string& path, std::string* where) {
    const EraseRefusal own = CheckErasePathAllowed(path, where);
    if (own != EraseRefusal::kNone) return own;
    // Other back ends than the machine's own tell controllers through their device nodes.
    std::vector<std::string> siblings;
    const ErrorCode e = std::string(Storage().Name()) == NativeStorage().Name()
                            ? NativeSanitizeSiblings(path, siblings)
                            : ControllerSiblings(FindList(devtype::kDisk), path, siblings);
    if (e == err::kNotSupported) return EraseRefusal::kNone; // the platform checks per disk
    if (e != err::kSuccess) return EraseRefusal::kUseUnknown;
    for (const std::string& sibling : siblings) {
        std::string w;
        const EraseRefusal r = CheckErasePathAllowed(sibling, &w);
        if (r == EraseRefusal::kNone || r == EraseRefusal::kDetached) continue;
        if (where) *where = sibling + (w.empty() ? std::string() : ": " + w);
        return r;
    }
    return EraseRefusal::kNone;
}

ErrorCode ControllerSiblings(clDeviceList* disks, const std::string& path,
                             std::vector<std::string>& siblings) {
    siblings.clear();
    if (!disks) return err::kNotSupported;
    // The list holds disks only (it refuses objects of another type).
    if (disks->Type() != devtype::kDisk) return err::kInvalidParameter;
    clDevice* found = disks->FindByPath(path);
    if (!found) return err::kFileNotFound;
    auto* self = static_cast<clDisk*>(found);
    if (self->GetBusType() != bustype::kNvme) return err::kSuccess;
    const std::uint32_t controller = Storage().ControllerOf(self->DevInst());
    if (controller == 0) return err::kNotSupported;
    for (clDevice* d = disks->FirstDevice(); d; d = disks->NextDevice(d)) {
        auto* disk = static_cast<clDisk*>(d);
        if (disk == self || !disk->GetPath()) continue;
        if (disk->GetBusType() == bustype::kNvme &&
            Storage().ControllerOf(disk->DevInst()) == controller)
            siblings.push_back(disk->GetPath());
    }
    return err::kSuccess;
}

AtaSecurityState DecodeAtaSecurity(ByteView identify) {
    AtaSecurityState s;
    std::uint16_t w = 0;
    if (!LoadLe(identify, 128 * 2, w)) return s;
    s.valid = true;
    s.supported = (w & 0x0001) != 0;
    if (!s.supported) return s;
    s.enabled = (w & 0x0002) != 0;
    s.locked = (w & 0x0004) != 0;
    s.frozen = (w & 0x0008) != 0;
    s.countExpired = (w & 0x0010) != 0;
    return s;
}

const char* AtaSecurityStateName(const AtaSecurityState& s) {
    if (!s.valid || !s.supported) return "not supported";
    if (s.frozen) return "frozen";
    if (s.countExpired) return "expired";
    if (s.locked) return "locked";
    return s.enabled ? "enabled" : "disabled";
}

EraseRefusal AtaSecurityRefusal(const AtaSecurityState& s) {
    if (s.frozen) return EraseRefusal::kAtaFrozen;
    if (s.countExpired) return EraseRefusal::kAtaCountExpired;
    if (s.locked) return EraseRefusal::kAtaLocked;
    return EraseRefusal::kNone;
}

const char* EraseRefusalText(EraseRefusal r) {
    switch (r) {
    case EraseRefusal::kNone:
        return "";
    case EraseRefusal::kSystemDisk:
        return "This SSD is system drive and it can't do security erase.";
    case EraseRefusal::kMountedVolume:
        return "a volume of the drive is mounted; unmount it first";
    case EraseRefusal::kSwap:
        return "the drive holds active swap; turn it off first";
    case EraseRefusal::kHolder:
        return "the drive is held by device-mapper or md; remove the mapping first";
    case EraseRefusal::kDetached:
        return "the drive is no longer connected";
    case EraseRefusal::kVolumeInUse:
        return "a volume of the drive is in use and cannot be locked; close what uses it first";
    case EraseRefusal::kUseUnknown:
        return "cannot tell whether the drive is in use";
    case EraseRefusal::kNoMethod:
        return "Security erase is not support on this SSD driver.";
    case EraseRefusal::kAtaFrozen:
        return "the drive's security is frozen; suspend and resume the system, or unplug and "
               "plug the drive in again, then retry";
    case EraseRefusal::kAtaCountExpired:
        return "the drive took too many wrong passwords; power it off and on, then retry";
    case EraseRefusal::kAtaLocked:
        return "the drive is locked with a password this program did not set";
    }
    return "";
}

ErrorCode EraseRefusalCode(EraseRefusal r) {
    switch (r) {
    case EraseRefusal::kNone:
        return err::kSuccess;
    case EraseRefusal::kDetached:
        return err::kDeviceNotConnected;
    case EraseRefusal::kNoMethod:
        return err::kNotSupported;
    case EraseRefusal::kUseUnknown:
    case EraseRefusal::kAtaFrozen:
    case EraseRefusal::kAtaCountExpired:
    case EraseRefusal::kAtaLocked:
        return err::kAccessDenied;
    default:
        return err::kSharingViolation;
    }
}

} // namespace tvd
