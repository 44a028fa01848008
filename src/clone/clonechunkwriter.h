// A second thread that writes one chunk while the copy loop reads the next, so that a partition
// copy keeps both disks busy. One write is in flight at a time; the loop owns the buffers and
// hands one over until Wait returns.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "foundation/errorcodes.h"

namespace tvd {

class CloneChunkWriter {
public:
    using WriteFn =
        std::function<ErrorCode(void* buffer, std::uint64_t first, std::uint64_t count)>;

    explicit CloneChunkWriter(WriteFn write) : write_(std::move(write)) {}
    CloneChunkWriter(const CloneChunkWriter&) = delete;
    CloneChunkWriter& operator=(const CloneChunkWriter&) = delete;
    // Waits for the write in flight, then ends the thread.
    ~CloneChunkWriter();

    // False when no thread can be had; the caller then writes in line.
    bool Start();
    // Queues one write; only while none is in flight.
    void Post(void* buffer, std::uint64_t first, std::uint64_t count);
    // The result of the write in flight (0 when there is none), once it has ended.
    ErrorCode Wait();
    bool Busy() const { return posted_; }

private:
    void Loop();

    WriteFn write_;
    std::thread thread_;
    std::mutex lock_;
    std::condition_variable cv_;
    bool posted_ = false; // the loop's view: a write was handed over and not yet waited for
    bool pending_ = false, stop_ = false;
    void* buffer_ = nullptr;
    std::uint64_t first_ = 0, count_ = 0;
    ErrorCode result_ = err::kSuccess;
};

} // namespace tvd
