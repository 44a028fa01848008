// One benchmark measurement: requests of `transferSize` bytes at `blockCount` offsets `stride`
// apart in the test file, `queueDepth` of them in flight, in ascending or shuffled order, for
// `passes` passes (each going round the offsets until `minDurationMs` has passed). The best pass
// gives the rate, in MB/s of 1,000,000 bytes.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/alignedbuffer.h"
#include "foundation/clzoltitem.h"
#include "foundation/errorcodes.h"
#include "jobs/benchioutil.h"

namespace tvd {

class clBenchMarkItem : public clZoltItem {
public:
    TVD_ISA(clBenchMarkItem, clZoltItem)

    bool sequential = true;
    std::uint64_t minDurationMs = 0;
    std::uint32_t passes = 1;
    std::uint32_t queueDepth = 1;
    std::uint32_t blockCount = 0;
    std::uint32_t stride = 1u << 20;
    std::uint32_t transferSize = 1u << 20;
    std::uint32_t sleepSeconds = 0;

    // Runs every pass on the test file of `folder`; false on failure or abort (`abort` is the
    // owning job's request, sampled between requests and while waiting).
    bool Run(BenchFolder& folder, const std::atomic<bool>* abort);

    float Progress() const;
    // The rate to show: the running pass's last result while running, the best one afterwards.
    float LastSpeed() const { return lastSpeed_.load(std::memory_order_acquire); }
    float BestSpeed() const { return bestSpeed_.load(std::memory_order_acquire); }
    std::uint32_t PassIndex() const { return passIndex_.load(std::memory_order_acquire); }
    bool Error() const { return error_; }
    ErrorCode FailureCode() const { return failure_; }
    // How the requests were issued (the platform's method), once the file was opened.
    const char* Method() const { return method_; }
    // Bytes per pass sweep; what the progress counts.
    std::uint64_t BytesPerPass() const {
        return static_cast<std::uint64_t>(transferSize) * blockCount;
    }

protected:
    virtual std::unique_ptr<BenchIoFile> OpenFile(BenchFolder& folder, ErrorCode& error) = 0;

private:
    struct Slot {
        enum State : std::uint8_t { kFree, kPending, kFailed } state = kFree;
        AlignedBuffer buffer;
    };

    bool Prepare();
    bool RunPass(BenchIoFile& file);
    // Issues offset number n in a free slot.
    void Issue(BenchIoFile& file, std::uint32_t slot, std::uint32_t n);
    // Reaps whatever completed; waits at most 1 ms for something when nothing had.
    void Reap(BenchIoFile& file);
    bool AnyPending() const;
    void Fail(ErrorCode e);
    bool Aborted() const { return abort_ && abort_->load(std::memory_order_acquire); }

    const std::atomic<bool>* abort_ = nullptr;
    bool error_ = false;
    ErrorCode failure_ = err::kSuccess;
    const char* method_ = "";
    std::vector<std::uint64_t> offsets_;
    std::vector<Slot> slots_;
    std::atomic<float> bestSpeed_{0.0f};
    std::atomic<float> lastSpeed_{0.0f};
    std::atomic<std::uint32_t> passIndex_{0};
    std::atomic<std::uint64_t> bytesDone_{0};
};

// Shuffles `offsets` in place so every order is equally likely (a 64-bit draw per step).
void ShuffleOffsets(std::vector<std::uint64_t>& offsets, std::uint64_t seed);

} // namespace tvd
