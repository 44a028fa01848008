#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "jobs/clkernelbasicjob.h"
#include "jobs/jobthreadutil.h"

namespace tvd {
namespace {

// A job whose work ends at once the way the row says.
class ScriptedJob : public clKernelStdJob {
public:
    enum class End { kSucceed, kFail, kThrow, kAbortedWork };
    explicit ScriptedJob(End end) : end_(end) {}
    float GetProgress() override { return Done() ? 100.0f : 0.0f; }

protected:
    bool Work() override {
        switch (end_) {
        case End::kSucceed:
            return true;
        case End::kFail:
            return false;
        case End::kThrow:
            throw std::runtime_error("work broke");
        case End::kAbortedWork:
            Abort(); // as if the user pressed stop while the work ran
            return !AbortRequested();
        }
        return false;
    }

private:
    End end_;
};

// The window side: poll once per tick, then ask whether the job has finished.
struct Polled {
    std::vector<int> percents;
    int finishedAt = 0;
    JobOutcome outcome = JobOutcome::kRunning;
};
Polled PollUntilFinished(clKernelBasicJob& job, int maxTicks, int abortAtTick = 0) {
    Polled r;
    for (int tick = 1; tick <= maxTicks; ++tick) {
        if (tick == abortAtTick) job.Abort();
        r.percents.push_back(static_cast<int>(job.PollProgress()));
        if (job.IsFinished()) {
            r.finishedAt = tick;
            r.outcome = GetJobOutcome(&job);
            return r;
        }
    }
    return r;
}

TEST(JobFramework, PollSequenceByOutcomeAndMinPolls) {
    std::vector<int> ramp30;
    for (int k = 0; k < 30; ++k)
        ramp30.push_back(k * 100 / 30);
    struct Row {
        const char* what;
        ScriptedJob::End end;
        std::uint32_t minPolls;
        int abortAtTick;
        int finishedAt;
        JobOutcome outcome;
        std::vector<int> percents; // empty: not compared
    } rows[] = {
        {"success, no minimum", ScriptedJob::End::kSucceed, 0, 0, 1, JobOutcome::kDone, {100}},
        {"success held for 30 polls", ScriptedJob::End::kSucceed, 30, 0, 30, JobOutcome::kDone,
         ramp30},
        {"failure reported at once", ScriptedJob::End::kFail, 30, 0, 1, JobOutcome::kFailed, {0}},
        {"throwing work is a failure", ScriptedJob::End::kThrow, 30, 0, 1, JobOutcome::kFailed, {}},
        {"aborted work", ScriptedJob::End::kAbortedWork, 30, 0, 1, JobOutcome::kAborted, {}},
        // A stop pressed after the work succeeded changes nothing.
        {"late abort keeps the success", ScriptedJob::End::kSucceed, 30, 5, 30, JobOutcome::kDone,
         ramp30},
    };
    for (const Row& r : rows) {
        ScriptedJob job(r.end);
        job.minPolls = r.minPolls;
        job.Run();
        EXPECT_TRUE(job.Done()) << r.what;
        const Polled p = PollUntilFinished(job, 100, r.abortAtTick);
        EXPECT_EQ(p.finishedAt, r.finishedAt) << r.what;
        EXPECT_EQ(p.outcome, r.outcome) << r.what;
        if (!r.percents.empty()) {
            EXPECT_EQ(p.percents, r.percents) << r.what;
        }
    }
    // The first ticks of the held success, as the progress bar shows them.
    EXPECT_EQ(std::vector<int>(ramp30.begin(), ramp30.begin() + 5),
              (std::vector<int>{0, 3, 6, 10, 13}));
    EXPECT_EQ(ramp30.back(), 96);
}

TEST(JobFramework, AbortBeforeRunIsKept) {
    ScriptedJob job(ScriptedJob::End::kSucceed);
    job.Abort(); // pressed while the job waited in the queue
    job.Run();
    EXPECT_EQ(GetJobOutcome(&job), JobOutcome::kAborted);
}

TEST(JobFramework, AbortedJobIsAlsoFailedAndNullIsRunning) {
    ScriptedJob job(ScriptedJob::End::kAbortedWork);
    job.Run();
    EXPECT_TRUE(job.IsAborted());
    EXPECT_TRUE(job.IsFailed());
    EXPECT_EQ(job.FailureCode(), err::kCancelled);
    EXPECT_EQ(GetJobOutcome(nullptr), JobOutcome::kRunning);
    clKernelBasicJob base; // the base's own answers
    EXPECT_TRUE(base.IsFailed());
    EXPECT_FALSE(base.IsAborted());
}

// Blocks its Run until released, recording the order jobs ran in.
class GateJob : public clKernelStdJob {
public:
    GateJob(std::string name, std::vector<std::string>* order, std::mutex* lock)
        : name_(std::move(name)), order_(order), lock_(lock) {}
    void Open() {
        std::lock_guard<std::mutex> g(gate_);
        open_ = true;
        cv_.notify_all();
    }
    bool WaitStarted() {
        std::unique_lock<std::mutex> g(gate_);
        return cv_.wait_for(g, std::chrono::seconds(10), [this] { return started_; });
    }

protected:
    bool Work() override {
        {
            std::lock_guard<std::mutex> g(*lock_);
            order_->push_back(name_);
        }
        std::unique_lock<std::mutex> g(gate_);
        started_ = true;
        cv_.notify_all();
        cv_.wait(g, [this] { return open_; });
        return true;
    }

private:
    std::string name_;
    std::vector<std::string>* order_;
    std::mutex* lock_;
    std::mutex gate_;
    std::condition_variable cv_;
    bool open_ = false, started_ = false;
};

bool WaitDone(clKernelBasicJob* job) {
    for (int i = 0; i < 1000 && !job->Done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return job->Done();
}

class JobThread : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(JobThreadStart()); }
    void TearDown() override { JobThreadStop(); }
    std::vector<std::string> order_;
    std::mutex lock_;
};

TEST_F(JobThread, RunsNewestFirstOneAtATime) {
    auto blocker = MakeZoltRef<GateJob>("blocker", &order_, &lock_);
    auto a = MakeZoltRef<GateJob>("a", &order_, &lock_);
    auto b = MakeZoltRef<GateJob>("b", &order_, &lock_);
    ASSERT_TRUE(JobThreadQueue(blocker.Get()));
    ASSERT_TRUE(blocker->WaitStarted());
    ASSERT_TRUE(JobThreadQueue(a.Get()));
    ASSERT_TRUE(JobThreadQueue(b.Get()));
    EXPECT_EQ(JobThreadPending(), 2u);
    a->Open();
    b->Open();
    blocker->Open();
    ASSERT_TRUE(WaitDone(a.Get()));
    ASSERT_TRUE(WaitDone(b.Get()));
    std::lock_guard<std::mutex> g(lock_);
    EXPECT_EQ(order_, (std::vector<std::string>{"blocker", "b", "a"}));
}

// A job that does not follow the pattern: its Run throws without finishing.
class RawThrowingJob : public clKernelBasicJob {
public:
    void Run() override { throw std::logic_error("raw job broke"); }
    bool IsFailed() override { return false; } // claims success: the throw must still count
};

TEST_F(JobThread, SurvivesThrowingJobsAndRefusesRequeue) {
    auto raw = MakeZoltRef<RawThrowingJob>();
    auto thrower = MakeZoltRef<ScriptedJob>(ScriptedJob::End::kThrow);
    auto after = MakeZoltRef<ScriptedJob>(ScriptedJob::End::kSucceed);
    ASSERT_TRUE(JobThreadQueue(raw.Get()));
    ASSERT_TRUE(WaitDone(raw.Get()));
    EXPECT_TRUE(raw->Threw());
    EXPECT_TRUE(raw->IsFinished());
    EXPECT_EQ(GetJobOutcome(raw.Get()), JobOutcome::kFailed);

    ASSERT_TRUE(JobThreadQueue(thrower.Get()));
    ASSERT_TRUE(WaitDone(thrower.Get()));
    EXPECT_EQ(GetJobOutcome(thrower.Get()), JobOutcome::kFailed);

    // The worker is still there for the next job; a job never runs twice.
    ASSERT_TRUE(JobThreadQueue(after.Get()));
    ASSERT_TRUE(WaitDone(after.Get()));
    EXPECT_EQ(GetJobOutcome(after.Get()), JobOutcome::kDone);
    EXPECT_FALSE(JobThreadQueue(after.Get()));
    EXPECT_FALSE(JobThreadQueue(nullptr));
}

TEST_F(JobThread, StopWaitsForTheRunningJobAndReleasesQueuedOnes) {
    auto running = MakeZoltRef<GateJob>("running", &order_, &lock_);
    auto queued = MakeZoltRef<ScriptedJob>(ScriptedJob::End::kSucceed);
    ASSERT_TRUE(JobThreadQueue(running.Get()));
    ASSERT_TRUE(running->WaitStarted());
    ASSERT_TRUE(JobThreadQueue(queued.Get()));
    EXPECT_EQ(queued->RefCount(), 2); // ours and the queue's
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        running->Open();
    });
    JobThreadStop();
    opener.join();
    EXPECT_TRUE(running->Done()); // Stop returned only after Run did
    EXPECT_FALSE(queued->Done()); // never ran
    EXPECT_EQ(queued->RefCount(), 1);
    EXPECT_FALSE(JobThreadRunning());
    EXPECT_FALSE(JobThreadQueue(queued.Get()));
    ASSERT_TRUE(JobThreadStart()); // for TearDown
}

TEST(KeepAwake, SaysWhenItCannotHoldTheSystemAwake) {
    const ErrorCode on = KeepAwake(true);
    // Where an inhibitor (or the Windows call) works the pair succeeds; elsewhere the platform
    // says it cannot, rather than pretending.
    if (on == err::kSuccess) {
        EXPECT_EQ(KeepAwake(false), err::kSuccess);
    } else {
        EXPECT_TRUE(on == err::kNotSupported || on == err::kAccessDenied) << on;
    }
    EXPECT_EQ(KeepAwake(false), err::kSuccess); // off without on is harmless
}

} // namespace
} // namespace tvd
