#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "jobs/cljobbenchmark.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;

// A test file in memory: requests complete at once or after a number of checks, and fail at a
// chosen request; every request is recorded.
class ScriptedFile : public BenchIoFile {
public:
    struct Script {
        int checksToComplete = 0; // 0: every request completes at once
        int failAtRequest = -1;   // -1: never
        std::atomic<bool>* abortAt = nullptr;
        int abortAfterRequests = -1;
    };
    explicit ScriptedFile(Script s, std::uint32_t depth, std::vector<std::uint64_t>* offsets,
                          std::uint32_t* maxInFlight)
        : s_(s), pending_(depth, -1), offsets_(offsets), maxInFlight_(maxInFlight) {}

    ErrorCode Start(std::uint32_t slot, std::uint64_t offset, MutableByteView data) override {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data.data()) % 4096, 0u);
        offsets_->push_back(offset);
        const int n = requests_++;
        if (s_.abortAt && n == s_.abortAfterRequests) s_.abortAt->store(true);
        if (n == s_.failAtRequest) return err::kWriteFault;
        if (s_.checksToComplete == 0) return err::kSuccess;
        pending_[slot] = s_.checksToComplete;
        const auto inFlight = static_cast<std::uint32_t>(
            std::count_if(pending_.begin(), pending_.end(), [](int p) { return p >= 0; }));
        *maxInFlight_ = std::max(*maxInFlight_, inFlight);
        return err::kIoPending;
    }
    ErrorCode Check(std::uint32_t slot) override {
        if (pending_[slot] < 0) return err::kInvalidParameter;
        if (pending_[slot]-- > 0) return err::kIoIncomplete;
        pending_[slot] = -1;
        return err::kSuccess;
    }
    bool WaitAny(std::uint32_t) override { return true; }
    const char* Method() const override { return "scripted"; }

private:
    Script s_;
    std::vector<int> pending_;
    std::vector<std::uint64_t>* offsets_;
    std::uint32_t* maxInFlight_;
    int requests_ = 0;
};

class ScriptedItem : public clBenchMarkItem {
public:
    ScriptedFile::Script script;
    std::vector<std::uint64_t> offsets;
    std::uint32_t maxInFlight = 0;

protected:
    std::unique_ptr<BenchIoFile> OpenFile(BenchFolder&, ErrorCode& error) override {
        error = err::kSuccess;
        return std::make_unique<ScriptedFile>(script, queueDepth, &offsets, &maxInFlight);
    }
};

TEST(BenchMarkItem, RequestsByMeasurement) {
    BenchFolder unused;
    struct Row {
        const char* what;
        bool sequential;
        std::uint32_t depth, transfer, blocks, passes;
        std::uint64_t minMs;
        int checks;
    } rows[] = {
        // One pass of 16 MB: 16 requests of 1 MiB with 8 in flight.
        {"sequential 16 MB", true, 8, 1u << 20, 16, 1, 0, 2},
        // Random: 16 offsets for 32 slots, going round until the pass has lasted 50 ms.
        {"random 16 MB", false, 32, 4096, 16, 1, 50, 1},
        {"sequential, three passes at once", true, 8, 1u << 20, 64, 3, 0, 0},
        {"random, large file", false, 32, 4096, 70000, 1, 0, 3},
    };
    for (const Row& r : rows) {
        ScriptedItem item;
        item.sequential = r.sequential;
        item.queueDepth = r.depth;
        item.transferSize = r.transfer;
        item.blockCount = r.blocks;
        item.passes = r.passes;
        item.minDurationMs = r.minMs;
        item.script.checksToComplete = r.checks;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(item.Run(unused, nullptr)) << r.what;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        EXPECT_EQ(item.PassIndex(), r.passes) << r.what;
        EXPECT_FLOAT_EQ(item.Progress(), 100.0f) << r.what;
        EXPECT_GT(item.BestSpeed(), 0.0f) << r.what;
        EXPECT_EQ(item.LastSpeed(), item.BestSpeed()) << r.what;
        // Going round a small file again fills every slot, as a deeper queue on it would.
        EXPECT_LE(item.maxInFlight, r.minMs > 0 ? r.depth : std::min(r.depth, r.blocks)) << r.what;
        if (r.checks > 0 && r.minMs == 0) {
            EXPECT_EQ(item.maxInFlight, std::min(r.depth, r.blocks)) << r.what;
        }
        // Each sweep visits every MiB exactly once; random sweeps in a shuffled order.
        ASSERT_GE(item.offsets.size(), std::size_t{r.blocks} * r.passes) << r.what;
        std::vector<std::uint64_t> sweep(item.offsets.begin(), item.offsets.begin() + r.blocks);
        std::vector<std::uint64_t> sorted = sweep;
        std::sort(sorted.begin(), sorted.end());
        for (std::uint32_t i = 0; i < r.blocks; ++i)
            ASSERT_EQ(sorted[i], std::uint64_t{i} << 20) << r.what;
        EXPECT_EQ(sweep == sorted, r.sequential) << r.what;
        if (r.minMs > 0) {
            EXPECT_GE(ms, static_cast<long long>(r.minMs)) << r.what;
            EXPECT_GT(item.offsets.size(), std::size_t{r.blocks}) << r.what; // went round again
        } else {
            EXPECT_EQ(item.offsets.size(), std::size_t{r.blocks} * r.passes) << r.what;
        }
    }
}

TEST(BenchMarkItem, FailureAndAbortEndTheMeasurement) {
    BenchFolder unused;
    ScriptedItem failing;
    failing.queueDepth = 8;
    failing.blockCount = 32;
    failing.passes = 2;
    failing.script.checksToComplete = 2;
    failing.script.failAtRequest = 20;
    EXPECT_FALSE(failing.Run(unused, nullptr));
    EXPECT_TRUE(failing.Error());
    EXPECT_EQ(failing.FailureCode(), err::kWriteFault);
    EXPECT_EQ(failing.PassIndex(), 0u);
    EXPECT_EQ(failing.offsets.size(), 21u); // nothing issued after the failure

    std::atomic<bool> abort{false};
    ScriptedItem aborted;
    aborted.queueDepth = 4;
    aborted.blockCount = 1000;
    aborted.passes = 5;
    aborted.script.checksToComplete = 1;
    aborted.script.abortAt = &abort;
    aborted.script.abortAfterRequests = 10;
    EXPECT_FALSE(aborted.Run(unused, &abort));
    EXPECT_EQ(aborted.FailureCode(), err::kCancelled);
    EXPECT_LT(aborted.offsets.size(), 20u);

    abort = true; // asked before it starts: nothing is issued
    ScriptedItem never;
    never.blockCount = 4;
    EXPECT_FALSE(never.Run(unused, &abort));
    EXPECT_TRUE(never.offsets.empty());

    ScriptedItem empty; // nothing to measure is an error, not a zero rate
    EXPECT_FALSE(empty.Run(unused, nullptr));
}

TEST(BenchMarkItem, ShuffleIsAPermutation) {
    for (std::uint64_t n : {1ull, 2ull, 3ull, 1000ull, 65536ull}) {
        std::vector<std::uint64_t> v(n);
        for (std::uint64_t i = 0; i < n; ++i)
            v[i] = i << 20;
        ShuffleOffsets(v, 42 + n);
        std::set<std::uint64_t> seen(v.begin(), v.end());
        EXPECT_EQ(seen.size(), n);
        EXPECT_EQ(*seen.rbegin(), (n - 1) << 20);
    }
    // Every position moves somewhere over many seeds: no position stays fixed by construction.
    std::vector<int> stayed(8, 0);
    for (std::uint64_t seed = 0; seed < 400; ++seed) {
        std::vector<std::uint64_t> v = {0, 1, 2, 3, 4, 5, 6, 7};
        ShuffleOffsets(v, seed);
        for (int i = 0; i < 8; ++i)
            stayed[i] += v[i] == std::uint64_t(i);
    }
    for (int s : stayed)
        EXPECT_LT(s, 150);
}

// The real file side, in a folder of the test's own.
class BenchMarkJob : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        volume_ = fs::temp_directory_path() / ("tvdbench-" + std::to_string(rd()));
        fs::create_directories(volume_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(volume_, ec);
    }
    std::string Volume() const { return volume_.string(); }
    fs::path Folder() const { return volume_ / "VornaTarvikdornTemp"; }
    fs::path volume_;
};

TEST_F(BenchMarkJob, MeasuresAllFourAndLeavesNothingBehind) {
    auto job = MakeZoltRef<clJobBenchMark>();
    ASSERT_EQ(job->Configure(Volume(), 1, 16u << 20), clJobBenchMark::Refusal::kNone);
    ASSERT_EQ(job->MeasureCount(), 4u);
    job->Run();
    ASSERT_EQ(GetJobOutcome(job.Get()), JobOutcome::kDone)
        << job->FailedStage() << " " << job->FailureCode();
    for (BenchMeasure m : {BenchMeasure::kSequentialRead, BenchMeasure::kRandomRead,
                           BenchMeasure::kSequentialWrite, BenchMeasure::kRandomWrite}) {
        EXPECT_GT(job->Measure(m)->BestSpeed(), 0.0f) << clJobBenchMark::MeasureName(m);
        EXPECT_EQ(job->Measure(m)->PassIndex(), 1u);
    }
    EXPECT_NEAR(job->GetProgress(), 100.0f, 0.01f);
    EXPECT_FALSE(fs::exists(Folder()));
}

TEST_F(BenchMarkJob, RefusesWhatCannotRun) {
    auto job = MakeZoltRef<clJobBenchMark>();
    EXPECT_EQ(job->Configure(Volume(), 1, 8u << 20), clJobBenchMark::Refusal::kBadSize);
    EXPECT_EQ(job->Configure(Volume(), 1, (16u << 20) + 1), clJobBenchMark::Refusal::kBadSize);
    EXPECT_EQ(job->Configure(Volume(), 0, 16u << 20), clJobBenchMark::Refusal::kBadPasses);
    EXPECT_EQ(job->Configure(Volume(), 10, 16u << 20), clJobBenchMark::Refusal::kBadPasses);
    EXPECT_EQ(job->Configure((volume_ / "missing").string(), 1, 16u << 20),
              clJobBenchMark::Refusal::kNoVolume);
    // Where the volume has less than the largest size free, that size is refused.
    std::uint64_t freeBytes = 0, total = 0;
    ASSERT_EQ(BenchVolumeSpace(Volume(), freeBytes, total), err::kSuccess);
    if (freeBytes <= (64ull << 30)) {
        EXPECT_EQ(job->Configure(Volume(), 1, 64ull << 30), clJobBenchMark::Refusal::kNoRoom);
        EXPECT_EQ(job->MeasureCount(), 0u);
    }
    struct Room {
        std::uint64_t free, volume, size;
        bool fits;
    } rooms[] = {
        {1ull << 30, 100ull << 30, 1ull << 30, false},                // exactly the free space
        {(1ull << 30) + (16ull << 20), 1ull << 30, 1ull << 30, true}, // 16 MiB left on 1 GiB
        {(1ull << 30) + (15ull << 20), 1ull << 30, 1ull << 30, false},
        {(2ull << 30), 100ull << 30, 1ull << 30, true}, // 1 GiB left = 1 %
        {(2ull << 30) - 1, 100ull << 30, 1ull << 30, false},
        {0, 0, 16ull << 20, false},
    };
    for (const Room& r : rooms)
        EXPECT_EQ(clJobBenchMark::RoomFor(r.free, r.volume, r.size), r.fits)
            << r.free << " free of " << r.volume << " for " << r.size;
    // The reserve: 1 % between 16 MiB and 1 GiB.
    EXPECT_EQ(clJobBenchMark::ReserveFor(100ull << 20), 16ull << 20);
    EXPECT_EQ(clJobBenchMark::ReserveFor(500ull << 30), 1ull << 30);
    EXPECT_EQ(clJobBenchMark::ReserveFor(10ull << 30), (10ull << 30) / 100);
}

TEST_F(BenchMarkJob, AbortDuringPreparationRemovesTheFile) {
    auto job = MakeZoltRef<clJobBenchMark>();
    ASSERT_EQ(job->Configure(Volume(), 1, 1024u << 20), clJobBenchMark::Refusal::kNone);
    std::thread stopper([&] {
        while (job->Written() < (32u << 20) && !job->Done())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        job->Abort();
    });
    job->Run();
    stopper.join();
    EXPECT_EQ(GetJobOutcome(job.Get()), JobOutcome::kAborted);
    EXPECT_LT(job->Written(), 1024u << 20);
    EXPECT_FALSE(fs::exists(Folder()));
}

TEST_F(BenchMarkJob, NeverWritesThroughALink) {
#ifdef _WIN32
    GTEST_SKIP() << "links in the test folder are a Linux check here";
#else
    const fs::path victim = volume_ / "victim";
    std::ofstream(victim) << "keep me";
    fs::create_directories(Folder());
    fs::create_symlink(victim, Folder() / "BenchMark.tmp");
    auto job = MakeZoltRef<clJobBenchMark>();
    ASSERT_EQ(job->Configure(Volume(), 1, 16u << 20), clJobBenchMark::Refusal::kNone);
    job->Run();
    EXPECT_EQ(GetJobOutcome(job.Get()), JobOutcome::kDone);
    EXPECT_EQ(fs::file_size(victim), 7u);

    // The folder itself a link elsewhere: refused before anything is written.
    fs::remove_all(Folder());
    const fs::path elsewhere = volume_ / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directory_symlink(elsewhere, Folder());
    job = MakeZoltRef<clJobBenchMark>();
    ASSERT_EQ(job->Configure(Volume(), 1, 16u << 20), clJobBenchMark::Refusal::kNone);
    job->Run();
    EXPECT_EQ(GetJobOutcome(job.Get()), JobOutcome::kFailed);
    EXPECT_STREQ(job->FailedStage(), "prepare");
    EXPECT_TRUE(fs::is_empty(elsewhere));
#endif
}

} // namespace
} // namespace tvd
