#include "jobs/clkernelbasicjob.h"

#include <exception>
#include <new>

namespace tvd {

bool clKernelBasicJob::IsFinished() {
    const bool done = Done();
    if (done && (IsFailed() || IsAborted() || Threw())) return true;
    if (minPolls != 0 && PollCount() < minPolls) return false;
    return done;
}

float clKernelBasicJob::PollProgress() {
    float p = GetProgress();
    const std::uint32_t polls = pollCount_.load(std::memory_order_relaxed);
    if (minPolls != 0) {
        // In 64 bits: polls * 100 must not wrap for a long-running job.
        const auto floor = static_cast<std::uint64_t>(polls) * 100u / minPolls;
        if (static_cast<float>(floor) < p) p = static_cast<float>(floor);
    }
    pollCount_.store(polls + 1, std::memory_order_relaxed);
    return p;
}

JobOutcome GetJobOutcome(clKernelBasicJob* job) {
    if (!job || !job->IsFinished()) return JobOutcome::kRunning;
    if (job->IsAborted()) return JobOutcome::kAborted;
    if (job->IsFailed() || job->Threw()) return JobOutcome::kFailed;
    return JobOutcome::kDone;
}

void clKernelStdJob::Run() {
    // A stop pressed while the job waited in the queue is kept: the work does not start.
    failure_.store(err::kSuccess, std::memory_order_release);
    state_.store(kRunning, std::memory_order_release);
    bool ok = false;
    try {
        if (!AbortRequested()) ok = Work();
    } catch (const std::bad_alloc&) {
        SetFailureCode(err::kNoSystemResources);
    } catch (...) {
        SetFailureCode(err::kGenFailure);
    }
    // A success stands even when an abort arrived as the last unit finished.
    State end = kSucceeded;
    if (!ok) end = AbortRequested() ? kAborted : kFailed;
    if (end == kAborted && FailureCode() == err::kSuccess) SetFailureCode(err::kCancelled);
    if (end == kFailed && FailureCode() == err::kSuccess) SetFailureCode(err::kGenFailure);
    state_.store(end, std::memory_order_release);
    Finish();
}

bool clKernelStdJob::IsFailed() {
    const auto s = state_.load(std::memory_order_acquire);
    // An aborted job is failed too: its work did not complete.
    return s == kFailed || s == kAborted;
}

bool clKernelStdJob::IsAborted() {
    const auto s = state_.load(std::memory_order_acquire);
    if (s == kAborted) return true;
    return s == kRunning && AbortRequested();
}

void clKernelStdJob::Abort() {
    const auto s = state_.load(std::memory_order_acquire);
    if (s == kSucceeded || s == kFailed || s == kAborted) return;
    abort_.store(true, std::memory_order_release);
}

} // namespace tvd
