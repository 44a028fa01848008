// The surface scan: the disk's block range cut into equal strides, and a block at the start of
// each stride read raw from the physical disk (read-only; nothing is written, no self-test is
// started). Quick: 1000 points of at most 4 MiB; full: 10000 points of at most 16 MiB, which
// reads every byte of a drive up to 156.25 GiB.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "drive/clfundisk.h"
#include "foundation/alignedbuffer.h"
#include "jobs/clkernelbasicjob.h"
#include "storage/storageplatform.h"

namespace tvd {

enum class ScanMode { kQuick, kFull };

class clJobDiskSurfaceScan : public clKernelStdJob {
public:
    TVD_ISA(clJobDiskSurfaceScan, clKernelStdJob)

    static constexpr std::uint32_t kQuickPoints = 1000;
    static constexpr std::uint32_t kQuickBytesPerPoint = 4u << 20;
    static constexpr std::uint32_t kFullPoints = 10000;
    static constexpr std::uint32_t kFullBytesPerPoint = 16u << 20;
    static constexpr std::uint32_t kBufferWanted = 4u << 20;
    static constexpr std::uint32_t kBufferLeast = 8u << 10;

    clJobDiskSurfaceScan() = default;
    // The drive and its geometry are taken now, on the window thread; the job keeps a reference.
    void SetDisk(clFunDisk* fd);
    // A disk by its device path and geometry alone (what SetDisk takes from a functional disk).
    void SetGeometry(const std::string& path, std::uint32_t sectorSize, std::uint64_t sectors);
    void SetMode(ScanMode mode);

    float GetProgress() override;

    std::uint32_t points = 0;
    std::uint32_t maxBytesPerPoint = 16u << 20;

    // Results, readable while the job runs.
    std::uint32_t TotalPoints() const { return total_.load(std::memory_order_acquire); }
    std::uint32_t DonePoints() const { return donePoints_.load(std::memory_order_acquire); }
    std::uint64_t BytesRead() const { return bytesRead_.load(std::memory_order_acquire); }
    std::uint64_t Stride() const { return stride_; }
    std::uint32_t BufferSize() const { return bufferSize_; }
    // Where the first failed read began (byte offset on the disk) and its sample point; valid
    // once the job failed on a read.
    bool HasReadError() const { return readError_.load(std::memory_order_acquire); }
    std::uint64_t ErrorOffset() const { return errorOffset_; }
    // Length of the read that failed: the bad spot lies in [ErrorOffset, +ErrorLength).
    std::uint32_t ErrorLength() const { return errorLength_; }
    std::uint32_t ErrorPoint() const { return errorPoint_; }

protected:
    bool Work() override;

private:
    bool Prepare();
    bool Scan();
    bool ReadPoint(std::uint32_t index);

    ZoltRef<clFunDisk> disk_;
    std::string path_;
    std::uint32_t sectorSize_ = 0;
    std::uint64_t sectors_ = 0;
    std::uint64_t sizeBytes_ = 0;
    std::uint64_t stride_ = 0;
    std::uint32_t bufferSize_ = 0;
    AlignedBuffer buffer_;
    DeviceHandle reader_;
    std::atomic<std::uint32_t> total_{0};
    std::atomic<std::uint32_t> donePoints_{0};
    std::atomic<std::uint64_t> bytesRead_{0};
    std::atomic<bool> readError_{false};
    std::uint64_t errorOffset_ = 0;
    std::uint32_t errorLength_ = 0;
    std::uint32_t errorPoint_ = 0;
};

} // namespace tvd
