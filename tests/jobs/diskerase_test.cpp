#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "cli/storagesession.h"
#include "cli/tracestorage.h"
#include "drive/kernelfun.h"
#include "jobs/cljobdiskerase.h"
#include "storage/simfolder.h"

namespace tvd {
namespace {

constexpr std::uint64_t kMiB = 1ull << 20;

TEST(EraseTrimSteps, TileTheDiskInStepsOfAtMost256MiB) {
    const std::uint64_t step = kEraseTrimStep;
    const std::uint64_t sizes[] = {512,        4096,          step - 512, step,
                                   step + 512, step + 4096,   3 * step,   3 * step - 4096,
                                   600 * kMiB, 2000398934016, 1};
    for (std::uint64_t size : sizes) {
        const std::vector<TrimStep> steps = TrimSteps(size);
        ASSERT_EQ(steps.size(), (size + step - 1) / step) << size;
        std::uint64_t next = 0;
        for (const TrimStep& s : steps) {
            EXPECT_EQ(s.offset, next) << size;
            EXPECT_GT(s.length, 0u) << size;
            EXPECT_LE(s.length, step) << size;
            next = s.offset + s.length;
        }
        EXPECT_EQ(next, size);
    }
    // Nothing to trim is no request at all; the job fails such a disk itself.
    EXPECT_TRUE(TrimSteps(0).empty());
}

// Passes everything to the simulated drives and asks the job to stop after `stopAfter` TRIM
// requests.
class StoppingStorage : public cli::TraceStorage {
public:
    explicit StoppingStorage(StoragePlatform& inner) : TraceStorage(inner, nullptr) {}
    ErrorCode TrimRange(DeviceHandle& h, std::uint64_t offset, std::uint64_t length) override {
        const ErrorCode e = TraceStorage::TrimRange(h, offset, length);
        if (++trims == stopAfter && job) job->Abort();
        return e;
    }
    ErrorCode WriteAt(DeviceHandle& h, std::uint64_t offset, ByteView data) override {
        ++writes;
        return TraceStorage::WriteAt(h, offset, data);
    }
    int trims = 0, writes = 0;
    int stopAfter = -1;
    clJobDiskErase* job = nullptr;
};

class DiskErase : public ::testing::Test {
protected:
    // A 600 MiB drive with TRIM: three requests, the last one short.
    void SetUp() override {
        folder_.Drive("ssd", "Model=Erase SSD\nCapacity=600M\nTrim=1");
        std::ofstream img(folder_ / "ssd.img", std::ios::binary);
        img.seekp(600 * kMiB - 1);
        img.put(0);
    }
    ZoltRef<clFunDisk> Disk(cli::StorageSession& session) {
        std::string problem;
        EXPECT_EQ(session.Open(folder_.Path(), problem, nullptr, false), err::kSuccess) << problem;
        clDisk* disk = session.FindDisk("ssd");
        EXPECT_NE(disk, nullptr);
        return disk ? FunDiskCreate(disk) : ZoltRef<clFunDisk>();
    }
    test::SimFolder folder_;
};

TEST_F(DiskErase, StopsBetweenTrimRequestsAfterTheTableIsGone) {
    for (int k : {1, 2}) {
        cli::StorageSession session;
        ZoltRef<clFunDisk> fd = Disk(session);
        ASSERT_TRUE(fd);
        ASSERT_EQ(EraseMethodFor(fd.Get()), erasemethod::kTrim);
        StoragePlatform& sim = Storage();
        StoppingStorage storage(sim);
        SelectStorage(&storage);
        auto job = MakeZoltRef<clJobDiskErase>();
        job->method = EraseMethodFor(fd.Get());
        job->SetDisk(fd.Get());
        storage.job = job.Get();
        storage.stopAfter = k;
        job->Run();
        SelectStorage(&sim);
        EXPECT_EQ(storage.trims, k);
        EXPECT_TRUE(job->IsAborted());
        EXPECT_TRUE(job->TableDeleted());
        EXPECT_EQ(job->TrimmedBytes(), static_cast<std::uint64_t>(k) * kEraseTrimStep);
        EXPECT_EQ(job->FailureCode(), err::kCancelled);
    }
}

TEST_F(DiskErase, RefusalsAtTheStartOfTheRunWriteNothing) {
    struct Row {
        const char* drive;
        EraseRefusal refusal;
    } rows[] = {
        {"Capacity=600M\nTrim=1\nSystemDisk=1", EraseRefusal::kSystemDisk},
        {"Capacity=600M\nTrim=1\nMountedVolume=1", EraseRefusal::kMountedVolume},
    };
    for (const Row& r : rows) {
        // The job is run on its own, as if the disk had gained its use after the questions.
        folder_.Drive("ssd", std::string("Model=Erase SSD\n") + r.drive);
        cli::StorageSession session;
        ZoltRef<clFunDisk> fd = Disk(session);
        ASSERT_TRUE(fd);
        auto job = MakeZoltRef<clJobDiskErase>();
        job->method = erasemethod::kTrim;
        job->SetDisk(fd.Get());
        StoragePlatform& sim = Storage();
        StoppingStorage storage(sim);
        SelectStorage(&storage);
        job->Run();
        SelectStorage(&sim);
        EXPECT_TRUE(job->IsFailed());
        EXPECT_EQ(job->Refusal(), r.refusal);
        EXPECT_EQ(job->FailureCode(), err::kSharingViolation);
        EXPECT_EQ(storage.trims, 0);
        EXPECT_EQ(storage.writes, 0);
        EXPECT_FALSE(job->WriteStarted());
    }
}

TEST_F(DiskErase, DetachedDiskAndUnknownLengthFail) {
    // One session at a time: each selects its own simulated back end.
    {
        cli::StorageSession session;
        ZoltRef<clFunDisk> fd = Disk(session);
        ASSERT_TRUE(fd);
        auto job = MakeZoltRef<clJobDiskErase>();
        job->method = erasemethod::kTrim;
        job->SetDisk(fd.Get());
        fd->Detach();
        job->Run();
        EXPECT_TRUE(job->IsFailed());
        EXPECT_EQ(job->Refusal(), EraseRefusal::kDetached);
        EXPECT_EQ(job->FailureCode(), err::kDeviceNotConnected);
    }

    // No method: fails at once, nothing written.
    cli::StorageSession second;
    ZoltRef<clFunDisk> other = Disk(second);
    ASSERT_TRUE(other);
    auto none = MakeZoltRef<clJobDiskErase>();
    none->SetDisk(other.Get());
    none->Run();
    EXPECT_TRUE(none->IsFailed());
    EXPECT_EQ(none->FailureCode(), err::kNotSupported);
    EXPECT_FALSE(none->WriteStarted());
}

} // namespace
} // namespace tvd
