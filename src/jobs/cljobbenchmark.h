// The benchmark: a test file of `testSize` bytes on the chosen volume, then the four
// measurements (sequential read, random read, sequential write, random write) on it. The file and
// its folder are removed whatever the outcome.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "jobs/clbenchmarkitem.h"
#include "jobs/clkernelbasicjob.h"

namespace tvd {

enum class BenchMeasure { kSequentialRead, kRandomRead, kSequentialWrite, kRandomWrite };

class clJobBenchMark : public clKernelStdJob {
public:
    TVD_ISA(clJobBenchMark, clKernelStdJob)

    static constexpr std::uint64_t kMiB = 1u << 20;
    static constexpr std::uint64_t kMinTestSize = 16 * kMiB;
    static constexpr std::uint64_t kMaxTestSize = 64 * 1024 * kMiB;
    static constexpr std::uint32_t kMaxPasses = 9;

    // Why a benchmark was refused before it started.
    enum class Refusal { kNone, kBadSize, kBadPasses, kNoVolume, kNoRoom, kNoMemory };

    // Sets the job up: the volume (a drive letter on Windows, a mount point or folder on Linux),
    // the passes (1 to 9) and the test size (a whole number of MiB, 16 MiB to 64 GiB), and
    // creates the four measurements. The volume must keep free space beyond the test file.
    Refusal Configure(const std::string& volume, std::uint32_t passes, std::uint64_t testSize);
    // Free space the volume must keep after the test file: 1 % of it, at least 16 MiB, at most
    // 1 GiB, so that the test never fills a volume the system may be writing to.
    static std::uint64_t ReserveFor(std::uint64_t volumeBytes);
    // Whether a test file of `testSize` leaves the volume its reserve.
    static bool RoomFor(std::uint64_t freeBytes, std::uint64_t volumeBytes, std::uint64_t testSize);

    float GetProgress() override;

    std::size_t MeasureCount() const { return items_.size(); }
    clBenchMarkItem* Measure(BenchMeasure m) const;
    const std::string& FolderPath() const { return folderPath_; }
    std::uint64_t TestSize() const { return testSize_; }
    std::uint64_t FreeBytes() const { return freeBytes_; }
    std::uint64_t VolumeBytes() const { return totalBytes_; }
    std::uint64_t Written() const { return written_.load(std::memory_order_acquire); }
    // The stage that failed: "prepare" or a measurement's name; empty when none did.
    const char* FailedStage() const { return failedStage_; }

    static const char* MeasureName(BenchMeasure m);

protected:
    bool Work() override;

private:
    bool PrepareFile(BenchFolder& folder);

    std::vector<ZoltRef<clBenchMarkItem>> items_;
    std::string volume_;
    std::string folderPath_;
    std::uint64_t testSize_ = 0;
    std::uint64_t freeBytes_ = 0;
    std::uint64_t totalBytes_ = 0;
    std::uint32_t weight_ = 1;
    std::atomic<std::uint64_t> written_{0};
    const char* failedStage_ = "";
};

} // namespace tvd
