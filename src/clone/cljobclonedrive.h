// The clone as a job: preparation (log, background service, layout), the step sequence of one
// clone (table deleted, partitions copied, boot code and table written only after a clean
// copy) and the clean-up, on the job thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "clone/cldiskcloneprocess.h"
#include "jobs/clkernelbasicjob.h"

namespace tvd {

// Result messages of a finished clone.
inline constexpr std::uint32_t kMsgCloneCompleted = 22027; // "Clone completed."
inline constexpr std::uint32_t kMsgCloneFailed = 22028;    // "Clone failed."
inline constexpr std::uint32_t kMsgCloneCanceled = 22029;  // "Clone canceled."

// Preparation: stage 1, the log, the service, the disk process with its step, the layout.
// Null when any of it fails (nothing has been written to the target then).
std::unique_ptr<clDiskCloneProcess> CloneProcessCreate(clCloneSourceDisk* source,
                                                       clCloneTargetDisk* target);
// The clone between CloneBegin and CloneEnd; the number of error lines of the whole clone.
std::uint32_t CloneProcessRun(clDiskCloneProcess* process);
// The step sequence; 0 when every step succeeded.
ErrorCode DiskCloneRun(clDiskCloneProcess* process);
// Destroys the process, closes the log and discards it when no error line was written.
// Returns the kept log's path (empty when discarded or none).
std::u16string CloneProcessDestroy(std::unique_ptr<clDiskCloneProcess> process);

// The background service around a clone (Windows). Without an embedded service, or on a
// platform without one, extraction logs a note and succeeds; the rest do nothing.
bool ServiceExtract();
void ServiceStart();
void ServiceKillAll();
void ServiceDeleteExe();

class clJobCloneDrive : public clKernelStdJob {
public:
    TVD_ISA(clJobCloneDrive, clKernelStdJob)
    // The disks are the caller's and must outlive the job.
    clJobCloneDrive(clCloneSourceDisk* source, clCloneTargetDisk* target)
        : sourceDisk_(source), targetDisk_(target) {}

    // The copy's percentage from the root step (0 before the copy stage).
    float GetProgress() override;
    // Cancels the copy (CloneAbort) unless the work has ended.
    void Abort() override;

    // After the job: the message id of its result, the error lines, what was copied, the log.
    std::uint32_t ResultMessage();
    std::uint32_t ErrorLines() const { return errorLines_.load(); }
    std::uint64_t BytesCopied() const { return bytesCopied_.load(); }
    // Seconds the partition copies took (the job's run also opens, plans and writes tables).
    double CopySeconds() const { return copySeconds_.load(); }
    const std::u16string& KeptLog() const { return keptLog_; }
    bool Prepared() const { return prepared_.load(); }
    // A source volume is copied while mounted writable (noted in the log).
    bool liveCopy = false;

protected:
    bool Work() override;

private:
    clCloneSourceDisk* sourceDisk_;
    clCloneTargetDisk* targetDisk_;
    std::atomic<std::uint32_t> errorLines_{0};
    std::atomic<std::uint64_t> bytesCopied_{0};
    std::atomic<double> copySeconds_{0};
    std::atomic<bool> prepared_{false};
    std::u16string keptLog_;
};

} // namespace tvd
