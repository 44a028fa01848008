#include "clone/clcustomdriveclone.h"

#include <algorithm>

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
