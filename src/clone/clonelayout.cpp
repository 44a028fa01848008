#include "clone/clonelayout.h"

#include <algorithm>
#include <cstring>

#include "clone/cldiskcloneprocess.h"
#include "clone/kernelclonefun.h"
#include "foundation/guidutil.h"
#include "storage/fsrecognizeutil.h"
#include "storage/partitiontableutil.h"

namespace tvd {

namespace {

void RandomGuid(std::uint8_t (&out)[16]) {
    Guid g;
    if (tvd::NewGuid(g) != err::kSuccess) return;
    StoreLe<std::uint32_t>(out, 0, g.data1);
    StoreLe<std::uint16_t>(out, 4, g.data2);
    StoreLe<std::uint16_t>(out, 6, g.data3);
    std::memcpy(out + 8, g.data4, 8);
}

void GuidOfOffset(std::uint64_t offset, std::uint8_t (&out)[16]) {
    std::memset(out, 0, 16);
    StoreLe<std::uint64_t>(out, 0, offset);
}

// Sector 0 of the target as the loader leaves it: the source's boot code, no table, no mark.
ErrorCode WriteBootCode(clDiskCloneProcess* process) {
    const std::uint32_t bps = process->target->bytesPerSector;
    AlignedBuffer sector;
    if (!sector.Allocate(bps)) return err::kNoSystemResources;
    if (const ErrorCode e = process->source->ReadSectors(sector.Data(), 0, 1)) return e;
    std::fill(sector.Data() + mbrsector::kDiskSignature, sector.Data() + bps, std::uint8_t(0));
    return process->target->WriteSectors(sector.Data(), 0, 1);
}

} // namespace

std::vector<LayoutPart> LayoutPartsOf(const clCloneSourceDisk& source,
                                      std::vector<clFunDrive*>* drives) {
    std::vector<LayoutPart> parts;
    const std::uint32_t bps = source.bytesPerSector;
    if (bps == 0) return parts;
    for (clZoltObject* o : source.drives) {
        auto* d = static_cast<clFunDrive*>(o);
        if (!d->selected) continue;
        LayoutPart p;
        p.entry = d->entry;
        p.sourceStart = d->Offset() / bps;
        p.sourceSize = d->Length() / bps;
        p.fsKind = d->fsKind;
        const bool resizable =
            source.layoutStyle != diskstyle::kGpt || GptPartitionResizable(d->entry);
        // Copied sector by sector, a partition needs its whole length on the target.
        p.neededBytes = resizable ? d->NeededBytes() : 0;
        if (d->entry.style == layoutstyle::kGpt)
            std::memcpy(p.sourceId, d->entry.gptId, 16);
        else
            GuidOfOffset(d->Offset(), p.sourceId);
        parts.push_back(p);
        if (drives) drives->push_back(d);
    }
    return parts;
}

bool PlanForDisks(const clCloneSourceDisk& source, const clCustomDiskObject& target,
                  LayoutPlan& plan) {
    plan = LayoutPlan{};
    if (source.bytesPerSector != target.bytesPerSector) {
        plan.failure = "the logical sector sizes of source and target differ";
        return false;
    }
    std::vector<LayoutPart> parts = LayoutPartsOf(source);
    if (parts.empty()) {
        plan.failure = "the source has no partition to copy";
        return false;
    }
    return PlanParts(source.layoutStyle, source.holdsWindows, source.bytesPerSector,
                     source.sectorCount, target.sectorCount, std::move(parts), plan);
}

void AssignIdentities(clDiskCloneProcess* process, bool keepIdentity) {
    if (!process || !process->source || !process->target) return;
    clCloneSourceDisk& source = *process->source;
    clCloneTargetDisk& target = *process->target;
    LayoutPlan& plan = process->plan;
    target.AvoidPresentSignatures(&source);
    const std::uint32_t bps = plan.bytesPerSector;
    if (plan.targetStyle == diskstyle::kRaw) {
        // A whole-disk volume: sector 0 is the volume's, nothing may be stamped into it.
        target.SetSignature(0);
        for (LayoutPart& p : plan.parts)
            GuidOfOffset(p.start * bps, p.id);
        return;
    }
    if (plan.sourceStyle == diskstyle::kGpt && keepIdentity) {
        target.SetSignature(source.signature);
        target.SetDiskGuid(source.diskGuid);
        for (LayoutPart& p : plan.parts)
            std::memcpy(p.id, p.sourceId, 16);
        return;
    }
    target.NewSignature();
    if (plan.targetStyle == diskstyle::kMbr) {
        target.GuidFromSignature();
        for (LayoutPart& p : plan.parts)
            GuidOfOffset(p.start * bps, p.id);
        return;
    }
    target.NewGuid();
    for (LayoutPart& p : plan.parts)
        RandomGuid(p.id);
}

bool PlanLayout(clDiskCloneProcess* process) {
    if (!process || !process->source || !process->target) return false;
    clCloneSourceDisk& source = *process->source;
    clCloneTargetDisk& target = *process->target;
    std::vector<clFunDrive*> drives;
    std::vector<LayoutPart> parts = LayoutPartsOf(source, &drives);
    LayoutPlan& plan = process->plan;
    bool ok = source.bytesPerSector == target.bytesPerSector;
    if (!ok) {
        plan.failure = "the logical sector sizes of source and target differ";
    } else if (parts.empty()) {
        plan.failure = "the source has no partition to copy";
        ok = false;
    } else {
        ok = PlanParts(source.layoutStyle, source.holdsWindows, source.bytesPerSector,
                       source.sectorCount, target.sectorCount, std::move(parts), plan);
    }
    if (!ok) {
        if (plan.shortfallBytes)
            CloneError("Layout: %s, %I64u bytes short", plan.failure, plan.shortfallBytes);
        else
            CloneError("Layout: %s", plan.failure);
        return false;
    }
    const bool keepIdentity = source.holdsWindows && source.layoutStyle == diskstyle::kGpt;
    AssignIdentities(process, keepIdentity);
    LayoutInfo info;
    if (plan.targetStyle == diskstyle::kRaw) {
        info = BuildWholeDisk(plan);
    } else if (plan.targetStyle == diskstyle::kGpt) {
        info = plan.sourceStyle == diskstyle::kGpt ? BuildGptFromGpt(plan) : BuildGptFromMbr(plan);
    } else if (plan.resized) {
        info = BuildMbrList(plan);
    } else {
        info.style = diskstyle::kMbr;
        info.count = source.layoutCount;
        info.buffer = source.layoutBuffer;
    }
    target.SetLayoutInfo(std::move(info));
    process->refreshDevices = source.holdsWindows && source.layoutStyle != diskstyle::kGpt;

    process->partitions.clear();
    for (std::size_t i = 0; i < plan.parts.size(); ++i) {
        const LayoutPart& part = plan.parts[i];
        auto p = CreateDriveCloneProcess(process, drives[i], part.start, part.size);
        if (!p) return false;
        p->neededBytes = part.neededBytes;
        p->target->SetPartitionGuid(part.id);
        process->partitions.push_back(std::move(p));
    }
    return true;
}

ErrorCode UpdateLoader(clDiskCloneProcess* process) {
    if (!process || !process->source || !process->target) return err::kFileNotFound;
    const clCustomDiskObject& target = *process->target;
    switch (target.layoutStyle) {
    case diskstyle::kMbr: {
        const std::uint32_t bps = process->source->bytesPerSector;
        AlignedBuffer sector;
        if (!sector.Allocate(bps)) return err::kNoSystemResources;
        if (const ErrorCode e = process->source->ReadSectors(sector.Data(), 0, 1)) return e;
        // What lies between the MBR and the first partition (a boot loader's core) goes along;
        // sector 0 itself gets the code only, the table comes with the commit.
        const std::uint32_t n = std::min<std::uint32_t>(
            Le<std::uint32_t>(ByteView(sector.Data(), bps), mbrsector::kSlots + 8), 63);
        if (n > 2) {
            if (const ErrorCode e = DiskCopySectors(process, 1, 1, n - 1)) return e;
            // A GPT header left there from an earlier table would give the target two tables.
            if (const ErrorCode e = process->target->ReadSectors(sector.Data(), 1, 1)) return e;
            if (std::memcmp(sector.Data(), "EFI PART", 8) == 0)
                if (const ErrorCode e = process->target->ClearSectors(1, 1)) return e;
        }
        return WriteBootCode(process);
    }
    case diskstyle::kGpt:
        return WriteBootCode(process);
    default:
        // A whole-disk volume was copied from sector 0: its boot sector is the volume's.
        return err::kSuccess;
    }
}

ErrorCode WriteGpt(clCustomDiskObject* target, const std::vector<std::uint8_t>& buffer) {
    if (!target) return err::kFileNotFound;
    const std::uint32_t bps = target->bytesPerSector;
    if (buffer.size() <= kGptHeaderArea || bps < 512) return err::kInvalidParameter;
    const std::size_t arrayBytes = buffer.size() - kGptHeaderArea;
    if (arrayBytes % bps != 0) return err::kInvalidParameter;
    const ByteView primary(buffer.data(), 512), backup(buffer.data() + 512, 512);
    const std::uint64_t entryLba = Le<std::uint64_t>(primary, 72);
    const std::uint64_t backupEntryLba = Le<std::uint64_t>(backup, 72);
    const std::uint64_t backupLba = Le<std::uint64_t>(primary, 32);
    AlignedBuffer io;
    if (!io.Allocate(std::max<std::size_t>(arrayBytes, bps))) return err::kNoSystemResources;
    std::memcpy(io.Data(), buffer.data() + kGptHeaderArea, arrayBytes);
    if (const ErrorCode e = target->WriteSectors(io.Data(), entryLba, arrayBytes / bps)) return e;
    std::memcpy(io.Data(), buffer.data() + kGptHeaderArea, arrayBytes);
    if (const ErrorCode e = target->WriteSectors(io.Data(), backupEntryLba, arrayBytes / bps))
        return e;
    std::fill(io.Data(), io.Data() + bps, std::uint8_t(0));
    std::memcpy(io.Data(), backup.data(), 512);
    if (const ErrorCode e = target->WriteSectors(io.Data(), backupLba, 1)) return e;
    std::fill(io.Data(), io.Data() + bps, std::uint8_t(0));
    std::memcpy(io.Data(), primary.data(), 512);
    return target->WriteSectors(io.Data(), 1, 1);
}

ErrorCode WriteMbrList(clCustomDiskObject* disk, const std::uint8_t* entries, std::uint32_t count) {
    if (!disk) return err::kFileNotFound;
    const std::uint32_t bps = disk->bytesPerSector;
    MbrSectors sectors;
    if (const ErrorCode e = BuildMbrSectors(entries, count, bps, disk->tracksPerCylinder,
                                            disk->sectorCount, sectors))
        return e;
    AlignedBuffer io;
    if (!io.Allocate(bps)) return err::kNoSystemResources;
    for (const MbrSectors::Ebr& r : sectors.ebrs) {
        std::memcpy(io.Data(), r.sector.data(), bps);
        if (const ErrorCode e = disk->WriteSectors(io.Data(), r.lba, 1)) return e;
    }
    // Sector 0 last: it is what makes the disk partitioned. Its boot code stays.
    if (const ErrorCode e = disk->ReadSectors(io.Data(), 0, 1)) return e;
    std::memcpy(io.Data() + mbrsector::kSlots, sectors.table, sizeof sectors.table);
    io.Data()[mbrsector::kBootMark] = 0x55;
    io.Data()[mbrsector::kBootMark + 1] = 0xAA;
    return disk->WriteSectors(io.Data(), 0, 1);
}

ErrorCode ZeroLayoutAreas(clCustomDiskObject* disk) {
    if (!disk) return err::kFileNotFound;
    const std::uint64_t n = disk->sectorCount;
    const std::uint64_t span = std::min<std::uint64_t>(34, n);
    if (const ErrorCode e = disk->ClearSectors(0, span)) return e;
    return disk->ClearSectors(n - span, span);
}

namespace {

ErrorCode ReadBack(clDiskCloneProcess* process) {
    clCloneTargetDisk& target = *process->target;
    const std::uint32_t bps = target.bytesPerSector;
    const SectorReadFn read = [&](std::uint64_t offset, MutableByteView data) -> ErrorCode {
        if (offset % bps != 0 || data.size() % bps != 0) return err::kInvalidParameter;
        AlignedBuffer io;
        if (!io.Allocate(data.size())) return err::kNoSystemResources;
        if (const ErrorCode e = target.ReadSectors(io.Data(), offset / bps, data.size() / bps))
            return e;
        std::memcpy(data.data(), io.Data(), data.size());
        return err::kSuccess;
    };
    DriveLayout found;
    if (const ErrorCode e = ReadDriveLayout(read, bps, target.sectorCount * bps, found)) return e;
    std::vector<LayoutExtent> got;
    for (const PartitionEntry& p : found.partitions)
        if (p.length != 0 && !(p.style == layoutstyle::kMbr && IsExtendedMbrType(p.mbrType)))
            got.push_back({p.startingOffset / bps, p.length / bps});
    std::sort(got.begin(), got.end(),
              [](const LayoutExtent& a, const LayoutExtent& b) { return a.start < b.start; });
    const LayoutInfo planned{target.layoutCount, target.layoutStyle, target.layoutBuffer};
    const std::uint32_t style =
        target.layoutStyle == diskstyle::kGpt ? layoutstyle::kGpt : layoutstyle::kMbr;
    if (found.style != style || got != LayoutExtents(planned, bps)) {
        CloneError("Layout read back differs from the plan: %i partitions found, %i planned",
                   int(got.size()), int(LayoutExtents(planned, bps).size()));
        return err::kInvalidData;
    }
    return err::kSuccess;
}

} // namespace

ErrorCode CommitLayout(clDiskCloneProcess* process) {
    if (!process || !process->target) return err::kFileNotFound;
    clCloneTargetDisk& target = *process->target;
    ErrorCode e = err::kSuccess;
    switch (target.layoutStyle) {
    case diskstyle::kMbr:
        e = target.WriteLayout(target.layoutBuffer.data(), target.layoutCount);
        break;
    case diskstyle::kGpt: {
        std::uint8_t guid[16];
        target.GetDiskGuid(guid);
        if (!FinalizeGpt(target.layoutBuffer, target.bytesPerSector, target.sectorCount, guid)) {
            e = err::kInvalidData;
            break;
        }
        e = target.WriteGptLayout(target.layoutBuffer);
        break;
    }
    default:
        return err::kSuccess;
    }
    if (e != err::kSuccess) {
        CloneErrorCode("Write Layout fail", e);
        return e;
    }
    return ReadBack(process);
}

} // namespace tvd
