#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "report/clwmibasicjob.h"
#include "report/wmithreadutil.h"
#include "drive/kernelfun.h"
#include "storage/storageplatform.h"

namespace tvd {
namespace {

// A job that runs only when the test lets it.
class GatedJob : public clWmiBasicJob {
public:
    void Run() override {
        std::unique_lock<std::mutex> lock(mutex_);
        started_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
        ran_ = true;
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    void WaitStarted() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return started_; });
    }
    bool Ran() {
        std::lock_guard<std::mutex> lock(mutex_);
        return ran_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false, started_ = false, ran_ = false;
};

bool FailInit() {
    return false;
}

TEST(WmiThread, NoThreadAnswersAtOnce) {
    WmiThreadStop();
    ZoltRef<GatedJob> job = MakeZoltRef<GatedJob>();
    EXPECT_FALSE(WmiRunAndWait(job.Get(), 60000)); // would hang for a minute if it waited
    EXPECT_FALSE(job->Done());
    // A thread whose set-up failed ends at once and takes no job.
    ASSERT_TRUE(WmiThreadStart(WmiThreadHooks{FailInit, nullptr}));
    for (int i = 0; i < 100000 && WmiThreadRunning(); ++i)
        std::this_thread::yield();
    WmiThreadStop();
    EXPECT_FALSE(WmiThreadQueue(job.Get()));
    EXPECT_EQ(job->RefCount(), 1);
}

TEST(WmiThread, GivingUpIsSafeAndStopFinishesQueuedJobs) {
    ASSERT_TRUE(WmiThreadStart(WmiThreadHooks{}));
    ZoltRef<GatedJob> slow = MakeZoltRef<GatedJob>();
    ZoltRef<GatedJob> queued = MakeZoltRef<GatedJob>();
    // The waiter gives up; the job keeps its own reference on the thread.
    EXPECT_FALSE(WmiRunAndWait(slow.Get(), 10));
    slow->WaitStarted();
    ASSERT_TRUE(WmiThreadQueue(queued.Get()));
    std::thread stopper([] { WmiThreadStop(); });
    while (WmiThreadRunning())
        std::this_thread::yield();
    slow->Open();
    stopper.join();
    EXPECT_TRUE(slow->Done());
    EXPECT_TRUE(slow->Ran());
    EXPECT_TRUE(queued->Done()); // finished unrun: its waiter would not wait for ever
    EXPECT_FALSE(queued->Ran());
    EXPECT_EQ(slow->RefCount(), 1);
    EXPECT_EQ(queued->RefCount(), 1);
}

TEST(WmiThread, RunsAQueuedJob) {
    ASSERT_TRUE(WmiThreadStart(WmiThreadHooks{}));
    ZoltRef<GatedJob> job = MakeZoltRef<GatedJob>();
    job->Open();
    EXPECT_TRUE(WmiRunAndWait(job.Get()));
    EXPECT_TRUE(job->Ran());
    WmiThreadStop();
#ifndef _WIN32
    EXPECT_FALSE(WmiQueryString(u"ROOT\\CIMV2", u"Win32_OperatingSystem", u"Caption"));
#endif
}

// The kernel's start brings the WMI thread up where the platform has WMI, and its end takes it
// down; a query after the end answers none at once.
TEST(WmiThread, KernelStartAndFinalize) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "tvd-wmikernel";
    fs::remove_all(folder);
    fs::create_directories(folder);
    ErrorCode e = err::kSuccess;
    std::unique_ptr<StoragePlatform> sim = NewSimStorage(folder.string(), e);
    ASSERT_TRUE(sim) << e;
    SelectStorage(sim.get());
    WmiThreadStop();
    ASSERT_TRUE(KernelStart(nullptr));
    const bool platformWmi = PlatformWmiHooks().initialize != nullptr;
    EXPECT_EQ(WmiThreadRunning(), platformWmi);
#ifdef _WIN32
    // Wine's provider answers the operating system's caption on the kernel's thread.
    EXPECT_TRUE(WmiQueryString(u"ROOT\\CIMV2", u"Win32_OperatingSystem", u"Caption"));
#endif
    KernelFinalize();
    EXPECT_FALSE(WmiThreadRunning());
    ZoltRef<GatedJob> job = MakeZoltRef<GatedJob>();
    EXPECT_FALSE(WmiRunAndWait(job.Get(), 60000));
    SelectStorage(nullptr);
    sim.reset();
    fs::remove_all(folder);
}

} // namespace
} // namespace tvd
