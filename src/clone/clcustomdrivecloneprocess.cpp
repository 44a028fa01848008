#include "clone/clcustomdrivecloneprocess.h"

#include <algorithm>
#include <cstring>

#include "clone/cldiskcloneprocess.h"
#include "clone/clonechunkwriter.h"
#include "clone/clonebufferutil.h"
#include "clone/kernelclonefun.h"

namespace tvd {

ErrorCode clCustomDriveCloneProcess::ReadSourceSectors(void* buffer, std::uint64_t first,
                                                       std::uint64_t count) {
    return source ? source->ReadSectors(buffer, first, count) : err::kFileNotFound;
}

ErrorCode clCustomDriveCloneProcess::WriteTargetSectors(void* buffer, std::uint64_t first,
                                                        std::uint64_t count) {
    if (!target) return err::kFileNotFound;
    target->highWater = std::max(target->highWater, first + count);
    return target->WriteSectors(buffer, first, count);
}

ErrorCode clCustomDriveCloneProcess::ClearTargetSectors(std::uint64_t first, std::uint64_t count) {
    return target ? target->ClearSectors(first, count) : err::kFileNotFound;
}

ErrorCode clCustomDriveCloneProcess::CopySectors(std::uint64_t sourceFirst,
                                                 std::uint64_t targetFirst, std::uint64_t count) {
    return DriveCopySectors(this, sourceFirst, targetFirst, count);
}

clCustomDriveCloneProcess* clDiskDriveCloneProcess::FindPartitionByOffset(std::uint64_t offset) {
    if (!diskProcess) return nullptr;
    for (const auto& p : diskProcess->partitions)
        if (p && p->source && p->source->GetStartOffset() == offset) return p.get();
    return nullptr;
}

clCustomDriveCloneProcess*
clDiskDriveCloneProcess::FindPartitionByGuid(const std::uint8_t (&guid)[16]) {
    if (!diskProcess) return nullptr;
    for (const auto& p : diskProcess->partitions)
        if (p && p->source && std::memcmp(p->source->partitionGuid, guid, 16) == 0) return p.get();
    return nullptr;
}

ErrorCode DriveCopySectors(clCustomDriveCloneProcess* process, std::uint64_t sourceFirst,
                           std::uint64_t targetFirst, std::uint64_t count) {
    if (!process || !process->source) return err::kFileNotFound;
    if (count == 0) return err::kSuccess;
    if (!SharedBufferEnsure(kCloneChunkBytes)) {
        CloneError("DriveCopySectors AllocateBuffer [%i] Bytes fail, Error(%i)", kCloneChunkBytes,
                   err::kNoSystemResources);
        return err::kNoSystemResources;
    }
    const std::uint32_t bps = process->source->fsInfo.bytesPerSector;
    if (bps == 0 || bps > kCloneChunkBytes) return err::kInvalidParameter;
    const std::uint64_t chunk = kCloneChunkBytes / bps;
    clStep* step = process->step.get();
    // More than one chunk: the next read overlaps the current write, through a second buffer
    // and a writer thread. Without either the copy runs in line, one chunk after the other.
    AlignedBuffer second;
    CloneChunkWriter writer(
        [process, step, bps](void* buffer, std::uint64_t first, std::uint64_t n) {
            const ErrorCode e = process->WriteTargetSectors(buffer, first, n);
            if (e == err::kSuccess) AddDoneWrite(step, n * bps);
            return e;
        });
    const bool overlap =
        count > chunk && second.Allocate(std::size_t(chunk) * bps) && writer.Start();
    std::uint8_t* buffers[2] = {SharedBuffer().data(), overlap ? second.Data() : nullptr};
    int current = 0;
    const auto writeFailed = [](ErrorCode e) {
        CloneErrorCode("DriveCopySectors write fail", e);
        return e;
    };
    for (std::uint64_t done = 0; done < count;) {
        const std::uint64_t n = std::min(chunk, count - done);
        std::uint8_t* buffer = buffers[current];
        if (CloneIsCancelled()) {
            if (const ErrorCode e = writer.Wait()) return writeFailed(e);
            CloneLog("DriveCopySectors Cancelled");
            return err::kCancelled;
        }
        if (const ErrorCode e = process->ReadSourceSectors(buffer, sourceFirst + done, n)) {
            const ErrorCode w = writer.Wait();
            CloneErrorCode("DriveCopySectors read fail", e);
            if (w != err::kSuccess) writeFailed(w);
            return e;
        }
        AddDoneRead(step, n * bps);
        if (const ErrorCode e = writer.Wait()) return writeFailed(e);
        if (CloneIsCancelled()) {
            CloneLog("DriveCopySectors Cancelled");
            return err::kCancelled;
        }
        if (overlap) {
            writer.Post(buffer, targetFirst + done, n);
            current ^= 1;
        } else if (const ErrorCode e = process->WriteTargetSectors(buffer, targetFirst + done, n)) {
            return writeFailed(e);
        } else {
            AddDoneWrite(step, n * bps);
        }
        done += n;
    }
    if (const ErrorCode e = writer.Wait()) return writeFailed(e);
    return err::kSuccess;
}

ErrorCode BeforeClone(clCustomDriveCloneProcess* process) {
    if (!process || !process->source || !process->target) {
        CloneError("BeforeClone - Process is NULL");
        return err::kFileNotFound;
    }
    const CloneFsInfo& s = process->source->fsInfo;
    const CloneFsInfo& t = process->target->fsInfo;
    if (s.bytesPerSector != t.bytesPerSector) {
        CloneError("BeforeClone - BytesPerSector is different");
        return err::kInvalidParameter;
    }
    std::uint64_t size = std::max<std::uint64_t>(s.largestUnit, s.bytesPerCluster);
    size = std::max<std::uint64_t>(size, kCloneChunkBytes);
    size = std::max<std::uint64_t>(size, std::max<std::uint64_t>(t.largestUnit, t.bytesPerCluster));
    if (!SharedBufferEnsure(size)) {
        CloneError("BeforeClone - AllocDataBuffer fail");
        return err::kNoSystemResources;
    }
    Start(process->step.get());
    return err::kSuccess;
}

void FinishPartition(clCustomDriveCloneProcess* process) {
    if (!process || CloneIsCancelled()) return;
    if (process->target)
        process->target->NotifyWritten(process->target->highWater *
                                       process->target->fsInfo.bytesPerSector);
    Settle(process->step.get());
}

} // namespace tvd
