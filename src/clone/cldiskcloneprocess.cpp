#include "clone/cldiskcloneprocess.h"

#include <cstring>
#include <new>

#include "clone/kernelclonefun.h"
#include "foundation/guidutil.h"
#include "storage/fsrecognizeutil.h"
#include "storage/partitiontableutil.h"

namespace tvd {

namespace {

// "MBR type 0x83" or "GPT type {GUID}", for the note on a partition copied without a known
// file system.
std::string PartitionTypeText(const PartitionEntry& p) {
    if (p.style == layoutstyle::kGpt) {
        Guid g;
        g.data1 = Le<std::uint32_t>(p.gptType, 0);
        g.data2 = Le<std::uint16_t>(p.gptType, 4);
        g.data3 = Le<std::uint16_t>(p.gptType, 6);
        std::memcpy(g.data4, p.gptType + 8, 8);
        return "GPT type " + GuidText(g);
    }
    static const char kHex[] = "0123456789ABCDEF";
    return std::string("MBR type 0x") + kHex[p.mbrType >> 4] + kHex[p.mbrType & 15];
}

} // namespace

clCustomDiskCloneProcess::~clCustomDiskCloneProcess() {
    engines.clear();
    partitions.clear();
    copyBuffer.Free();
}

ErrorCode clCustomDiskCloneProcess::ReadSourceSectors(void* buffer, std::uint64_t first,
                                                      std::uint64_t count) {
    return source ? source->ReadSectors(buffer, first, count) : err::kFileNotFound;
}

ErrorCode clCustomDiskCloneProcess::WriteTargetSectors(void* buffer, std::uint64_t first,
                                                       std::uint64_t count) {
    return target ? target->WriteSectors(buffer, first, count) : err::kFileNotFound;
}

ErrorCode clCustomDiskCloneProcess::ClearTargetSectors(std::uint64_t first, std::uint64_t count) {
    return target ? target->ClearSectors(first, count) : err::kFileNotFound;
}

ErrorCode clCustomDiskCloneProcess::CopySectors(std::uint64_t sourceFirst,
                                                std::uint64_t targetFirst, std::uint64_t count) {
    return DiskCopySectors(this, sourceFirst, targetFirst, count);
}

void clDiskCloneProcess::OnCopyBegin() {
    CloneSetStage(clonestage::kCopy);
}

ErrorCode DiskCopySectors(clCustomDiskCloneProcess* process, std::uint64_t sourceFirst,
                          std::uint64_t targetFirst, std::uint64_t count) {
    if (!process || !process->source) return err::kFileNotFound;
    if (count == 0) return err::kSuccess;
    const std::uint32_t bps = process->source->bytesPerSector;
    if (bps == 0 || bps > 65536) return err::kInvalidParameter;
    if (!process->copyBuffer.Data() && !process->copyBuffer.Allocate(std::size_t(bps) * 1024)) {
        CloneErrorCode("DiskCopySectors DiskProcessAllocCopyBuffer fail", err::kNoSystemResources);
        return err::kNoSystemResources;
    }
    const std::uint64_t chunk = std::min<std::uint64_t>(count, 1024);
    std::uint8_t* buffer = process->copyBuffer.Data();
    clStep* step = process->step.get();
    for (std::uint64_t done = 0; done < count;) {
        const std::uint64_t n = std::min(chunk, count - done);
        if (CloneIsCancelled()) {
            CloneLog("DiskCopySectors Cancelled");
            return err::kCancelled;
        }
        if (const ErrorCode e = process->ReadSourceSectors(buffer, sourceFirst + done, n)) {
            CloneErrorCode("DiskCopySectors read fail", e);
            return e;
        }
        AddDoneRead(step, n * bps);
        if (CloneIsCancelled()) {
            CloneLog("DiskCopySectors Cancelled");
            return err::kCancelled;
        }
        if (const ErrorCode e = process->WriteTargetSectors(buffer, targetFirst + done, n)) {
            CloneErrorCode("DiskCopySectors write fail", e);
            return e;
        }
        AddDoneWrite(step, n * bps);
        done += n;
    }
    return err::kSuccess;
}

std::unique_ptr<clDriveCloneProcess> CreateDriveCloneProcess(clDiskCloneProcess* disk,
                                                             clFunDrive* drive,
                                                             std::uint64_t targetStart,
                                                             std::uint64_t targetSectors) {
    if (!disk || !disk->source || !disk->target || !drive) return nullptr;
    const std::uint32_t sourceBps = disk->source->bytesPerSector;
    const std::uint32_t targetBps = disk->target->bytesPerSector;
    if (sourceBps == 0 || targetBps == 0) return nullptr;
    std::unique_ptr<clDriveCloneProcess> p(new (std::nothrow) clDriveCloneProcess);
    if (!p) return nullptr;
    p->step.reset(new (std::nothrow) clStep);
    p->source.reset(new (std::nothrow) clCloneSourceDrive(disk->source, drive));
    p->target.reset(new (std::nothrow) clDiskDriveObject(disk->target));
    if (!p->step || !p->source || !p->target) return nullptr;
    p->diskProcess = disk;
    p->sourceEntry = drive->entry;
    clCloneSourceDrive& s = *p->source;
    s.fsInfo.bytesPerSector = sourceBps;
    s.startSector = drive->Offset() / sourceBps;
    s.fsInfo.sectorCount = drive->Length() / sourceBps;
    s.fsKind = drive->fsKind;
    s.driveLetter = drive->letter;
    if (drive->entry.style == layoutstyle::kGpt)
        std::memcpy(s.partitionGuid, drive->entry.gptId, 16);
    else
        s.GuidFromOffset();
    clDiskDriveObject& t = *p->target;
    t.fsInfo.bytesPerSector = targetBps;
    t.startSector = targetStart;
    t.fsInfo.sectorCount = targetSectors;
    t.fsKind = drive->fsKind;
    return p;
}

bool CreateCopyEngines(clCustomDiskCloneProcess* process) {
    if (!process) {
        CloneError("CreateCopyObjects failed - DriveProcess is NULL");
        return false;
    }
    process->engines.clear();
    process->engines.resize(process->partitions.size());
    for (std::size_t i = 0; i < process->partitions.size(); ++i) {
        clDriveCloneProcess* p = process->partitions[i].get();
        if (!p || !p->source) continue;
        p->step->parent = process->step.get();
        clCloneSourceDrive& s = *p->source;
        const std::uint32_t bps = s.fsInfo.bytesPerSector;
        p->bootSector.assign(bps, 0);
        AlignedBuffer sector;
        ErrorCode e = sector.Allocate(bps) ? p->ReadSourceSectors(sector.Data(), 0, 1)
                                           : err::kNoSystemResources;
        if (e != err::kSuccess) {
            CloneErrorCode("CloneProcessReadBootData fail", e);
            continue;
        }
        std::memcpy(p->bootSector.data(), sector.Data(), bps);
        s.fsKind = RecognizeFileSystem(p->bootSector);
        if (s.fsKind == fskind::kNone)
            // No FAT, NTFS or exFAT boot sector: ext4, XFS, swap, LVM, LUKS, a BIOS boot area
            // ... still data the clone must carry, whole.
            CloneNote("[%i] %s holds no recognised file system: copied sector by sector", int(i),
                      PartitionTypeText(p->sourceEntry));
        process->engines[i] = CopyEngineForKind(s.fsKind)(p);
        if (!process->engines[i]) {
            CloneError("Create DriveCloneObject [%i] fail", int(i));
            return false;
        }
    }
    return true;
}

ErrorCode PrepareCopyEngines(clCustomDiskCloneProcess* process) {
    if (!process) return err::kFileNotFound;
    int count = 0;
    for (std::size_t i = 0; i < process->engines.size(); ++i) {
        if (!process->engines[i]) continue;
        clDriveCloneProcess* p = process->partitions[i].get();
        const std::uint64_t n = p->source->GetCopyBytes();
        AddPlannedRead(p->step.get(), n);
        AddPlannedWrite(p->step.get(), n);
        // A target partition whose copy does not complete carries no valid boot sector.
        if (const ErrorCode e = p->ClearTargetSectors(0, 1)) return e;
        CloneLog("[%i] Clone Prepare, Read=[%I64d], Write=[%I64d]", int(i),
                 p->step->plannedRead.load(), p->step->plannedWrite.load());
        ++count;
    }
    clStep* root = process->step.get();
    CloneLog("DiskClone ItemCount=[%i], Read=[%I64d], Write=[%I64d]", count,
             root ? root->plannedRead.load() : 0, root ? root->plannedWrite.load() : 0);
    return err::kSuccess;
}

ErrorCode RunCopyEngines(clCustomDiskCloneProcess* process) {
    if (!process) return err::kFileNotFound;
    Start(process->step.get());
    process->OnCopyBegin();
    ErrorCode result = err::kSuccess;
    for (std::size_t i = 0; i < process->engines.size(); ++i) {
        clCustomDriveClone* engine = process->engines[i].get();
        if (!engine) continue;
        clDriveCloneProcess* p = process->partitions[i].get();
        CloneLogW(u"[%i] Clone Start", int(i));
        engine->Clone();
        CloneLogW(u"[%i] Clone Stop, Read=[%I64d], Write=[%I64d]", int(i), p->step->doneRead.load(),
                  p->step->doneWrite.load());
        if (CloneIsCancelled()) {
            result = err::kCancelled;
            break;
        }
    }
    if (result == err::kSuccess) Settle(process->step.get());
    process->OnCopyEnd();
    return result;
}

} // namespace tvd
