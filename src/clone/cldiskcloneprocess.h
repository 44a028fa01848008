// The disk process of a clone: the partition processes and their copy engines, the whole-disk
// sector copy, and the steps that create, prepare and run the engines.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "clone/clclonesourcedisk.h"
#include "clone/clclonetargetdisk.h"
#include "clone/clcustomdriveclone.h"
#include "clone/clcustomdrivecloneprocess.h"
#include "clone/clonebufferutil.h"
#include "clone/clonelayoututil.h"

namespace tvd {

class clCustomDiskCloneProcess {
public:
    TVD_ISA_ROOT(clCustomDiskCloneProcess)
    clCustomDiskCloneProcess(clCloneSourceDisk* s, clCloneTargetDisk* t) : source(s), target(t) {}
    clCustomDiskCloneProcess(const clCustomDiskCloneProcess&) = delete;
    clCustomDiskCloneProcess& operator=(const clCustomDiskCloneProcess&) = delete;
    virtual ~clCustomDiskCloneProcess();

    bool refreshDevices = false;
    AlignedBuffer copyBuffer; // source bytesPerSector × 1,024, on first use
    clCloneSourceDisk* source;
    clCloneTargetDisk* target;
    std::shared_ptr<clStep> step;
    // Wall time of the partition copies (RunCopyEngines), for the copy's throughput.
    double copySeconds = 0;
    LayoutPlan plan; // where each copied partition goes (set by PlanLayout)
    // In source partition order; null for a partition that is not copied.
    std::vector<std::unique_ptr<clDriveCloneProcess>> partitions;
    std::vector<std::unique_ptr<clCustomDriveClone>> engines;

    virtual ErrorCode ReadSourceSectors(void* buffer, std::uint64_t first, std::uint64_t count);
    virtual ErrorCode WriteTargetSectors(void* buffer, std::uint64_t first, std::uint64_t count);
    virtual ErrorCode ClearTargetSectors(std::uint64_t first, std::uint64_t count);
    // Whole-disk sectors, 1,024 per transfer through the page-aligned copy buffer.
    virtual ErrorCode CopySectors(std::uint64_t sourceFirst, std::uint64_t targetFirst,
                                  std::uint64_t count);
    virtual void OnCopyBegin() {}
    virtual void OnCopyEnd() {}
};

class clDiskCloneProcess : public clCustomDiskCloneProcess {
public:
    TVD_ISA(clDiskCloneProcess, clCustomDiskCloneProcess)
    using clCustomDiskCloneProcess::clCustomDiskCloneProcess;
    void OnCopyBegin() override;
};

ErrorCode DiskCopySectors(clCustomDiskCloneProcess* process, std::uint64_t sourceFirst,
                          std::uint64_t targetFirst, std::uint64_t count);

// A partition process for source partition `drive` placed at `targetStart` on the target with
// `targetSectors` sectors (the layout decides both); null when any part cannot be made.
std::unique_ptr<clDriveCloneProcess> CreateDriveCloneProcess(clDiskCloneProcess* disk,
                                                             clFunDrive* drive,
                                                             std::uint64_t targetStart,
                                                             std::uint64_t targetSectors);

// One engine per partition process, by the kind its boot sector shows; a partition whose first
// sector cannot be read gets none (logged as an error). False when the clone must stop.
bool CreateCopyEngines(clCustomDiskCloneProcess* process);
// Plans each engine's bytes and zeroes its target partition's first sector.
ErrorCode PrepareCopyEngines(clCustomDiskCloneProcess* process);
// Runs the engines in partition order; 1223 when the clone was cancelled.
ErrorCode RunCopyEngines(clCustomDiskCloneProcess* process);

} // namespace tvd
