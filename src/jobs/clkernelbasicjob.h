// Jobs: long operations that run on the job thread while the window (or the command line) polls
// them. The window never hears from a job; it reads progress and state on its timer and asks the
// job to stop with Abort.
//
// clKernelBasicJob is the polled base. clKernelStdJob adds what every job of the program does the
// same way: an abort request sampled between units of work, a failed flag, and an outcome fixed
// when the work ends, so that a late Abort cannot turn a finished success into "aborted" and work
// that throws ends as a failure that is still reported.
#pragma once
#include <atomic>
#include <cstdint>

#include "foundation/clzoltitem.h"
#include "foundation/errorcodes.h"

namespace tvd {

class clKernelBasicJob : public clZoltItem {
public:
    TVD_ISA(clKernelBasicJob, clZoltItem)

    // Progress of the work in percent, 0 to 100.
    virtual float GetProgress() { return 0.0f; }
    // The work, on the job thread; every override ends by calling Finish.
    virtual void Run() { Finish(); }
    virtual bool IsFailed() { return true; }
    virtual bool IsAborted() { return false; }
    // Asks the work to stop at its next check.
    virtual void Abort() {}

    void Finish() noexcept { done_.store(true, std::memory_order_release); }
    bool Done() const noexcept { return done_.load(std::memory_order_acquire); }

    // Done and failed or aborted: at once. Otherwise a success waits for `minPolls` polls.
    bool IsFinished();
    // The work's progress, held back to pollCount * 100 / minPolls while minPolls applies.
    float PollProgress();

    std::uint32_t PollCount() const noexcept { return pollCount_.load(std::memory_order_relaxed); }

    // The minimum number of polls before a success is reported (0: none). Set by the creator
    // before the job is queued.
    std::uint32_t minPolls = 0;

    // For the job thread: the job was queued (a job never runs twice), and its work ended
    // by an exception that the job did not handle itself.
    bool MarkQueued() noexcept { return !queued_.exchange(true, std::memory_order_acq_rel); }
    bool Queued() const noexcept { return queued_.load(std::memory_order_acquire); }
    void MarkThrew() noexcept { threw_.store(true, std::memory_order_release); }
    bool Threw() const noexcept { return threw_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> done_{false};
    std::atomic<bool> queued_{false};
    std::atomic<bool> threw_{false};
    std::atomic<std::uint32_t> pollCount_{0};
};

// How a finished job ended, asked in the order a page shows it: aborted, failed, done.
enum class JobOutcome { kRunning, kDone, kAborted, kFailed };
JobOutcome GetJobOutcome(clKernelBasicJob* job);

// The common pattern: Run calls Work (unless a stop was asked for while the job was queued),
// fixes the outcome and calls Finish.
class clKernelStdJob : public clKernelBasicJob {
public:
    TVD_ISA(clKernelStdJob, clKernelBasicJob)

    void Run() final;
    bool IsFailed() override;
    bool IsAborted() override;
    // Ignored once the work has ended: it can no longer stop anything.
    void Abort() override;

    // The abort request, for work that samples it (and for parts that take a pointer to it).
    bool AbortRequested() const noexcept { return abort_.load(std::memory_order_acquire); }
    const std::atomic<bool>* AbortFlag() const noexcept { return &abort_; }
    // Why the work failed (0 when it did not, or gave no reason).
    ErrorCode FailureCode() const noexcept { return failure_.load(std::memory_order_acquire); }

protected:
    // The work: true on success. A false return after an abort request counts as aborted.
    virtual bool Work() = 0;
    void SetFailureCode(ErrorCode e) noexcept { failure_.store(e, std::memory_order_release); }

private:
    enum State : std::uint8_t { kIdle, kRunning, kSucceeded, kFailed, kAborted };
    std::atomic<bool> abort_{false};
    std::atomic<std::uint8_t> state_{kIdle};
    std::atomic<ErrorCode> failure_{err::kSuccess};
};

// Keeps the system (and display) from sleeping while on; per thread on Windows
// (SetThreadExecutionState), a logind "sleep" inhibitor on Linux where one can be had.
// kNotSupported when the platform offers no such thing here; the caller goes on without it.
ErrorCode KeepAwake(bool on);

} // namespace tvd
