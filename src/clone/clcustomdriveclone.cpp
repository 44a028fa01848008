#include "clone/clcustomdriveclone.h"

#include <algorithm>
#include <cstring>

#include "clone/clcustomdrivecloneprocess.h"
#include "clone/clonebufferutil.h"
#include "clone/fundriveutil.h"
#include "clone/kernelclonefun.h"
#include "storage/fsrecognizeutil.h"

namespace tvd {

namespace {

struct EngineRow {
    std::uint8_t kind;
    CopyEngineFactory make;
};

// Until the FAT- and NTFS-aware engines exist, their kinds are copied by sector too.
constexpr EngineRow kEngines[] = {
    {fskind::kNone, &clUnknownDriveClone::Create},  {fskind::kFat12, &clUnknownDriveClone::Create},
    {fskind::kFat16, &clUnknownDriveClone::Create}, {fskind::kNtfs, &clUnknownDriveClone::Create},
    {fskind::kFat32, &clUnknownDriveClone::Create}, {fskind::kExfat, &clUnknownDriveClone::Create},
    {fskind::kOther, &clUnknownDriveClone::Create},
};

// NTFS keeps a copy of its boot sector in the partition's last sector, where the system and
// ntfs-3g look for it; in a grown partition that sector lies past the copied volume. Written
// after the volume's own boot sector, so an interrupted copy never leaves a backup to recover.
ErrorCode MirrorNtfsBootSector(clCustomDriveCloneProcess* p) {
    const std::uint64_t source = p->source->fsInfo.sectorCount;
    const std::uint64_t target = p->target->fsInfo.sectorCount;
    const std::size_t bps = p->bootSector.size();
    if (p->source->fsKind != fskind::kNtfs || target <= source || bps == 0 ||
        bps != p->target->fsInfo.bytesPerSector || SharedBuffer().size() < bps)
        return err::kSuccess;
    std::memcpy(SharedBuffer().data(), p->bootSector.data(), bps);
    const ErrorCode e = p->WriteTargetSectors(SharedBuffer().data(), target - 1, 1);
    if (e != err::kSuccess) CloneErrorCode("NTFS backup boot sector write fail", e);
    return e;
}

} // namespace

CopyEngineFactory CopyEngineForKind(std::uint8_t kind) {
    for (const EngineRow& r : kEngines)
        if (r.kind == kind) return r.make;
    return &clUnknownDriveClone::Create;
}

std::unique_ptr<clCustomDriveClone> clUnknownDriveClone::Create(clCustomDriveCloneProcess* p) {
    if (!p || !p->source || !p->target || p->source->fsInfo.sectorCount == 0) return nullptr;
    for (clCustomDriveObject* d : {static_cast<clCustomDriveObject*>(p->source.get()),
                                   static_cast<clCustomDriveObject*>(p->target.get())}) {
        d->fsInfo.bytesPerCluster = 32768;
        d->fsInfo.largestUnit = 0;
    }
    p->source->maxCluster = 0;
    return std::unique_ptr<clCustomDriveClone>(new (std::nothrow) clUnknownDriveClone(p));
}

ErrorCode clUnknownDriveClone::Clone() {
    ErrorCode e = BeforeClone(process);
    if (e == err::kSuccess) {
        const clCloneSourceDrive& s = *process->source;
        const clFunDrive* drive = s.Drive();
        SetPathPrefix(s.driveLetter, drive ? drive->root : std::u16string());
        const std::uint64_t count = s.fsInfo.sectorCount;
        const std::uint64_t head =
            std::min<std::uint64_t>(count, kCloneChunkBytes / s.fsInfo.bytesPerSector);
        e = process->CopySectors(head, head, count - head);
        if (e == err::kSuccess) e = process->CopySectors(0, 0, head);
        if (e == err::kSuccess) e = MirrorNtfsBootSector(process);
    }
    FinishPartition(process);
    return e;
}

ErrorCode clUnknownDriveClone::Inspect() {
    if (!process || !process->source) return err::kFileNotFound;
    const std::uint32_t bps = process->source->fsInfo.bytesPerSector;
    if (!SharedBufferEnsure(std::max<std::size_t>(bps, kCloneChunkBytes)))
        return err::kNoSystemResources;
    return process->source->ReadSectors(SharedBuffer().data(), 0, 1);
}

} // namespace tvd
