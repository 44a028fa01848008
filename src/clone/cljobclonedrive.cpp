#include "clone/cljobclonedrive.h"

#include <chrono>
#include <new>

#include "clone/clonelayout.h"
#include "clone/kernelclonefun.h"

namespace tvd {

std::unique_ptr<clDiskCloneProcess> CloneProcessCreate(clCloneSourceDisk* source,
                                                       clCloneTargetDisk* target) {
    if (!source || !target) return nullptr;
    CloneSetStage(clonestage::kPrepare);
    if (CloneLogOpen() != err::kSuccess) return nullptr;
    CloneLog("Clone Prepare");
    if (!ServiceExtract()) {
        CloneError("Create CloneDriveService fail");
        return nullptr;
    }
    ServiceStart();
    std::unique_ptr<clDiskCloneProcess> process(new (std::nothrow)
                                                    clDiskCloneProcess(source, target));
    if (!process) {
        CloneError("Create Disk Process fail");
        return nullptr;
    }
    if (!CloneCreateStep() || !(process->step = CloneGetStep())) {
        CloneError("Create Step fail");
        return nullptr;
    }
    if (!PlanLayout(process.get())) {
        CloneError("Create Drive Process fail");
        return nullptr;
    }
    return process;
}

ErrorCode DiskCloneRun(clDiskCloneProcess* process) {
    if (!process || !process->target) return err::kFileNotFound;
    clCloneTargetDisk& target = *process->target;
    if (const ErrorCode e = target.DeleteLayout()) {
        CloneErrorCode("Delete Partition", e);
        target.EndWrite(false);
        return e;
    }
    CloneLog("Clone Start");
    // Snapshots (stage 2) come with the service; without one the volumes are read live.
    ErrorCode result = err::kSuccess;
    if (!CreateCopyEngines(process)) {
        target.EndWrite(false);
        CloneLog("Clone Stop");
        return err::kInvalidData;
    }
    if (const ErrorCode e = PrepareCopyEngines(process)) {
        CloneErrorCode("Prepare Copy fail", e);
        target.EndWrite(false);
        CloneLog("Clone Stop");
        return e;
    }
    const bool awake = KeepAwake(true) == err::kSuccess;
    const auto copyStart = std::chrono::steady_clock::now();
    const ErrorCode copy = RunCopyEngines(process);
    process->copySeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - copyStart).count();
    if (awake) KeepAwake(false);
    // The table makes the copy look valid: only a copy that logged no error gets one.
    if (copy == err::kSuccess && CloneErrorCount() == 0) {
        if (const ErrorCode e = UpdateLoader(process)) {
            CloneErrorCode("Update Loader fail.", e);
            result = e;
        } else if (const ErrorCode c = CommitLayout(process)) {
            result = c;
        }
        if (const ErrorCode e = target.EndWrite(result == err::kSuccess)) {
            CloneError("End write fail.");
            if (result == err::kSuccess) result = e;
        }
    } else {
        if (copy != err::kCancelled) CloneNote("Layout not written: the copy logged errors");
        target.EndWrite(false);
        result = copy != err::kSuccess ? copy : err::kInvalidData;
    }
    CloneLog("Clone Stop");
    return result;
}

std::uint32_t CloneProcessRun(clDiskCloneProcess* process) {
    CloneBegin();
    DiskCloneRun(process);
    CloneEnd();
    return CloneErrorCount();
}

std::u16string CloneProcessDestroy(std::unique_ptr<clDiskCloneProcess> process) {
    const std::uint32_t errors = CloneErrorCount();
    ServiceDeleteExe();
    process.reset();
    std::u16string kept;
    clCustomCloneInterface* ctx = CloneInterface();
    if (errors != 0 && ObjectIsA(ctx, "clCloneInterface"))
        kept = static_cast<clCloneInterface*>(ctx)->LogPath();
    CloneLogClose();
    if (errors == 0) CloneLogDiscard();
    ServiceKillAll();
    return kept;
}

float clJobCloneDrive::GetProgress() {
    if (CloneGetStage() != clonestage::kCopy) return 0.0f;
    return static_cast<float>(Percent(CloneGetStep().get()));
}

void clJobCloneDrive::Abort() {
    if (Done() || AbortRequested()) return;
    CloneAbort();
    clKernelStdJob::Abort();
}

bool clJobCloneDrive::Work() {
    // The service pipe and the reboot-time finisher join here with their issues.
    std::unique_ptr<clDiskCloneProcess> process = CloneProcessCreate(sourceDisk_, targetDisk_);
    bool failed = !process;
    prepared_.store(process != nullptr);
    if (process) {
        if (liveCopy)
            CloneNote("A source volume is mounted writable and is copied while it may change");
        const bool awake = KeepAwake(true) == err::kSuccess;
        failed = CloneProcessRun(process.get()) != 0;
        if (awake) KeepAwake(false);
        if (process->step) bytesCopied_.store(process->step->doneWrite.load());
        copySeconds_.store(process->copySeconds);
    }
    errorLines_.store(CloneErrorCount());
    keptLog_ = CloneProcessDestroy(std::move(process));
    CloneSetStage(clonestage::kIdle);
    return !failed;
}

std::uint32_t clJobCloneDrive::ResultMessage() {
    switch (GetJobOutcome(this)) {
    case JobOutcome::kAborted:
        return kMsgCloneCanceled;
    case JobOutcome::kDone:
        return kMsgCloneCompleted;
    default:
        return kMsgCloneFailed;
    }
}

} // namespace tvd
