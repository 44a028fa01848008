#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../storage/fakestorage.h"
#include "jobs/cljobdisksurfacescan.h"

namespace tvd {
namespace {

// A disk that records every raw read; reads fail from a chosen byte on, and the open can be made
// to fail or to be seen asking for write access.
class RecordingDisk : public test::FakeStorage {
public:
    struct Read {
        std::uint64_t offset;
        std::size_t size;
    };
    std::vector<Read> reads;
    std::uint64_t failFrom = UINT64_MAX;
    ErrorCode openRead = err::kSuccess;
    int rawOpens = 0, writableOpens = 0;
    clJobDiskSurfaceScan* job = nullptr;

    ErrorCode OpenRead(const std::string&, DeviceHandle& handle) override {
        ++rawOpens;
        if (openRead) return openRead;
        handle.Reset(std::make_unique<DeviceHandle::Impl>(), false);
        return err::kSuccess;
    }
    ErrorCode Open(const std::string&, DeviceHandle&) override {
        ++writableOpens;
        return err::kAccessDenied;
    }
    ErrorCode ReadAt(DeviceHandle& h, std::uint64_t offset, MutableByteView data) override {
        EXPECT_FALSE(h.Writable());
        reads.push_back({offset, data.size()});
        if (job && reads.size() == 2) job->Abort();
        if (offset + data.size() > failFrom) return err::kCrc;
        return err::kSuccess;
    }
};

class SurfaceScan : public ::testing::Test {
protected:
    void SetUp() override { SelectStorage(&disk_); }
    void TearDown() override { SelectStorage(nullptr); }
    RecordingDisk disk_;
};

constexpr std::uint64_t kGB = 1000ull * 1000 * 1000;
constexpr std::uint64_t kMiB = 1ull << 20;

TEST_F(SurfaceScan, SamplePointsByModeAndSize) {
    struct Row {
        const char* what;
        ScanMode mode;
        std::uint32_t sectorSize;
        std::uint64_t bytes;
        std::uint64_t stride;     // expected, bytes
        std::uint64_t readBytes;  // expected total
        std::uint32_t pointsRead; // points with at least one read
    } rows[] = {
        // 120 GB full: about 11.4 MiB strides, every one read whole: the whole surface.
        {"120 GB full", ScanMode::kFull, 512, 120 * kGB,
         (((120 * kGB / 512) - 1) / 10000 + 1) * 512, 120 * kGB, 10000},
        // 2 TB quick: 1000 reads of 4 MiB spread evenly.
        {"2 TB quick", ScanMode::kQuick, 512, 2000 * kGB, ((2000 * kGB / 512 - 1) / 1000 + 1) * 512,
         1000 * 4 * kMiB, 1000},
        // 4096-byte sectors: strides of whole sectors, last stride cut at the end.
        {"4K full", ScanMode::kFull, 4096, 40000ull * 4096 + 4096 * 3, 5 * 4096,
         40000ull * 4096 + 4096 * 3, 8001},
        // Rounded-up strides make the last points start past the end: they read nothing.
        {"small full", ScanMode::kFull, 512, 20001ull * 512, 3 * 512, 20001ull * 512, 6667},
    };
    for (const Row& r : rows) {
        disk_.reads.clear();
        auto job = MakeZoltRef<clJobDiskSurfaceScan>();
        job->SetMode(r.mode);
        job->SetGeometry("disk", r.sectorSize, r.bytes / r.sectorSize);
        job->Run();
        EXPECT_EQ(GetJobOutcome(job.Get()), JobOutcome::kDone) << r.what;
        EXPECT_EQ(job->Stride(), r.stride) << r.what;
        EXPECT_EQ(job->BytesRead(), r.readBytes) << r.what;
        EXPECT_EQ(job->DonePoints(), job->points) << r.what;
        EXPECT_FLOAT_EQ(job->GetProgress(), 100.0f) << r.what;
        std::uint64_t end = 0, points = 0, lastPoint = UINT64_MAX;
        for (const auto& rd : disk_.reads) {
            ASSERT_EQ(rd.offset % r.sectorSize, 0u) << r.what;
            ASSERT_EQ(rd.size % r.sectorSize, 0u) << r.what;
            ASSERT_LE(rd.size, clJobDiskSurfaceScan::kBufferWanted) << r.what;
            ASSERT_LE(rd.offset + rd.size, r.bytes) << r.what; // never past the end
            end = std::max(end, rd.offset + rd.size);
            const std::uint64_t point = rd.offset / r.stride;
            if (point != lastPoint) ++points;
            lastPoint = point;
        }
        EXPECT_EQ(points, r.pointsRead) << r.what;
        if (r.readBytes == r.bytes) {
            EXPECT_EQ(end, r.bytes) << r.what;
        }
    }
    EXPECT_EQ(disk_.writableOpens, 0); // read access only, never write
}

TEST_F(SurfaceScan, FailuresStopAtTheRightPlace) {
    // A read error in point 3 of a quick scan over a 1 GiB disk (stride ~1 MiB).
    auto job = MakeZoltRef<clJobDiskSurfaceScan>();
    job->SetMode(ScanMode::kQuick);
    job->SetGeometry("disk", 512, (1ull << 30) / 512);
    const std::uint64_t stride = ((((1ull << 30) / 512) - 1) / 1000 + 1) * 512;
    disk_.failFrom = 3 * stride + 4096;
    job->Run();
    EXPECT_EQ(GetJobOutcome(job.Get()), JobOutcome::kFailed);
    EXPECT_TRUE(job->HasReadError());
    EXPECT_EQ(job->ErrorPoint(), 3u);
    EXPECT_EQ(job->ErrorOffset(), 3 * stride);
    EXPECT_EQ(job->FailureCode(), err::kCrc);
    EXPECT_EQ(job->DonePoints(), 3u);
    EXPECT_FLOAT_EQ(job->GetProgress(), 0.3f);

    // An error on the first point: failed, progress 0.
    disk_.failFrom = 0;
    job = MakeZoltRef<clJobDiskSurfaceScan>();
    job->SetMode(ScanMode::kFull);
    job->SetGeometry("disk", 512, (1ull << 30) / 512);
    job->Run();
    EXPECT_EQ(GetJobOutcome(job.Get()), JobOutcome::kFailed);
    EXPECT_FLOAT_EQ(job->GetProgress(), 0.0f);

    // Nothing to open, nothing to scan, a disk that cannot be opened: failed before any read.
    struct Row {
        const char* what;
        std::string path;
        std::uint64_t sectors;
        ErrorCode openResult;
        ErrorCode code;
    } rows[] = {
        {"no path", "", 100, err::kSuccess, err::kInvalidParameter},
        {"no sectors", "disk", 0, err::kSuccess, err::kInvalidData},
        {"open refused", "disk", 100, err::kAccessDenied, err::kAccessDenied},
        {"size wraps", "disk", UINT64_MAX / 512, err::kSuccess, err::kInvalidData},
    };
    for (const Row& r : rows) {
        disk_.reads.clear();
        disk_.openRead = r.openResult;
        job = MakeZoltRef<clJobDiskSurfaceScan>();
        job->SetMode(ScanMode::kQuick);
        job->SetGeometry(r.path, 512, r.sectors);
        job->Run();
        EXPECT_EQ(GetJobOutcome(job.Get()), JobOutcome::kFailed) << r.what;
        EXPECT_EQ(job->FailureCode(), r.code) << r.what;
        EXPECT_TRUE(disk_.reads.empty()) << r.what;
    }
}

TEST_F(SurfaceScan, AbortEndsAtTheNextPieceAsAborted) {
    auto job = MakeZoltRef<clJobDiskSurfaceScan>();
    job->SetMode(ScanMode::kFull);
    job->SetGeometry("disk", 512, (100ull << 30) / 512);
    disk_.job = job.Get();
    job->Run();
    disk_.job = nullptr;
    EXPECT_EQ(disk_.reads.size(), 2u); // the piece in flight finished, nothing after it
    EXPECT_EQ(GetJobOutcome(job.Get()), JobOutcome::kAborted);
    EXPECT_TRUE(job->IsFailed());
    EXPECT_FALSE(job->HasReadError());
}

} // namespace
} // namespace tvd
