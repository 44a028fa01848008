#include "cli/jobrunner.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "cli/console.h"
#include "jobs/jobthreadutil.h"

namespace tvd::cli {

namespace {

std::atomic<bool> g_interrupt{false};

extern "C" void OnJobInterrupt(int) {
    g_interrupt.store(true);
}

// The handler is ours only while the job runs; the previous one comes back afterwards.
class InterruptScope {
public:
    InterruptScope() {
        g_interrupt.store(false);
        previous_ = std::signal(SIGINT, OnJobInterrupt);
    }
    ~InterruptScope() { std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_); }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    void (*previous_)(int) = SIG_DFL;
};

class ProgressLine {
public:
    ProgressLine(const char* label, std::FILE* err)
        : label_(label ? label : ""), err_(err), live_(IsTerminal(err)) {}

    void Show(int percent) {
        if (!err_) return;
        if (live_) {
            constexpr int kWidth = 30;
            const int filled = percent * kWidth / 100;
            std::fprintf(err_, "\r%s [%s%s] %3d%%", label_.c_str(),
                         std::string(filled, '#').c_str(),
                         std::string(kWidth - filled, '.').c_str(), percent);
            std::fflush(err_);
            drawn_ = true;
        } else if (percent / 10 > lastTenth_) {
            // Logs get a line every tenth, not a redraw every tick.
            lastTenth_ = percent / 10;
            std::fprintf(err_, "%s: %d%%\n", label_.c_str(), lastTenth_ * 10);
            std::fflush(err_);
        }
    }
    void End() {
        if (err_ && live_ && drawn_) {
            std::fputc('\n', err_);
            std::fflush(err_);
        }
    }

private:
    std::string label_;
    std::FILE* err_;
    bool live_;
    bool drawn_ = false;
    int lastTenth_ = 0;
};

} // namespace

void RequestInterrupt() {
    g_interrupt.store(true);
}

JobRunResult RunJobWithProgress(clKernelBasicJob* job, const char* label, std::FILE* err) {
    JobRunResult r;
    if (!job) return r;
    InterruptScope interrupt; // before the thread: a job that runs is always interruptible
    const bool ownThread = !JobThreadRunning();
    if (ownThread && !JobThreadStart()) return r;
    const auto start = std::chrono::steady_clock::now();
    ProgressLine line(label, err);
    if (JobThreadQueue(job)) {
        r.queued = true;
        for (;;) {
            if (g_interrupt.load()) {
                r.interrupted = true;
                job->Abort(); // again on every tick until the job ends
            }
            const float p = job->PollProgress();
            line.Show(p < 0 ? 0 : p > 100 ? 100 : static_cast<int>(p));
            if (job->IsFinished()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        line.End();
        r.outcome = GetJobOutcome(job);
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (ownThread) JobThreadStop();
    return r;
}

int JobExitStatus(const JobRunResult& r) {
    switch (r.outcome) {
    case JobOutcome::kDone:
        return 0;
    case JobOutcome::kAborted:
        return r.interrupted ? 130 : 1;
    default:
        return 1;
    }
}

} // namespace tvd::cli
