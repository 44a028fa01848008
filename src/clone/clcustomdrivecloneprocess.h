// Per-partition processes of the clone: each pairs a source partition with its target, holds
// the partition's progress node and feeds the copy engine; and the set-up and tear-down every
// engine shares (BeforeClone, FinishPartition) with the partition copy loop.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "clone/clcustomdriveobject.h"
#include "clone/clstep.h"
#include "storage/storagetypes.h"

namespace tvd {

class clDiskCloneProcess;

class clCustomDriveCloneProcess {
public:
    TVD_ISA_ROOT(clCustomDriveCloneProcess)
    clCustomDriveCloneProcess() = default;
    clCustomDriveCloneProcess(const clCustomDriveCloneProcess&) = delete;
    clCustomDriveCloneProcess& operator=(const clCustomDriveCloneProcess&) = delete;
    virtual ~clCustomDriveCloneProcess() = default;

    std::vector<std::uint8_t> bootSector; // sector 0 of the source partition
    std::u16string exclusionList;         // paths left out; empty when nothing is
    std::unique_ptr<clCloneSourceDrive> source;
    std::unique_ptr<clDiskDriveObject> target;
    std::unique_ptr<clStep> step;
    std::function<ErrorCode(const std::u16string&)> specialFileHandler;

    virtual ErrorCode ReadSourceSectors(void* buffer, std::uint64_t first, std::uint64_t count);
    // Raises the target's high-water mark to the end of the run, then writes.
    virtual ErrorCode WriteTargetSectors(void* buffer, std::uint64_t first, std::uint64_t count);
    virtual ErrorCode ClearTargetSectors(std::uint64_t first, std::uint64_t count);
    virtual ErrorCode CopySectors(std::uint64_t sourceFirst, std::uint64_t targetFirst,
                                  std::uint64_t count);
    virtual ErrorCode CheckSpecialFile(const std::u16string&) { return err::kSuccess; }
    virtual clCustomDriveCloneProcess* FindPartitionByOffset(std::uint64_t) { return nullptr; }
    virtual clCustomDriveCloneProcess* FindPartitionByGuid(const std::uint8_t (&)[16]) {
        return nullptr;
    }
};

class clDiskDriveCloneProcess : public clCustomDriveCloneProcess {
public:
    TVD_ISA(clDiskDriveCloneProcess, clCustomDriveCloneProcess)
    clDiskCloneProcess* diskProcess = nullptr;
    PartitionEntry sourceEntry; // the source partition's table entry
    std::uint64_t neededBytes = 0;

    clCustomDriveCloneProcess* FindPartitionByOffset(std::uint64_t offset) override;
    clCustomDriveCloneProcess* FindPartitionByGuid(const std::uint8_t (&guid)[16]) override;
};

class clDriveCloneProcess : public clDiskDriveCloneProcess {
public:
    TVD_ISA(clDriveCloneProcess, clDiskDriveCloneProcess)
};

// The partition copy: 1 MiB chunks, cancel checked before each read and each write, progress on
// the partition's step, errors logged. Longer runs read the next chunk while a second thread
// writes the current one (two 1 MiB buffers, the shared one and its twin); the write in flight
// always ends before the copy returns.
ErrorCode DriveCopySectors(clCustomDriveCloneProcess* process, std::uint64_t sourceFirst,
                           std::uint64_t targetFirst, std::uint64_t count);
// Before any copying of a partition: same sector sizes, the shared buffer large enough for the
// engine's largest unit (at least 1 MiB), the step started.
ErrorCode BeforeClone(clCustomDriveCloneProcess* process);
// After it (unless cancelled): the target learns how far it was written, the step settles.
void FinishPartition(clCustomDriveCloneProcess* process);

} // namespace tvd
