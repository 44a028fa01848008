#include "clone/clonechunkwriter.h"

#include <system_error>

namespace tvd {

CloneChunkWriter::~CloneChunkWriter() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

bool CloneChunkWriter::Start() {
    if (thread_.joinable()) return true;
    try {
        thread_ = std::thread(&CloneChunkWriter::Loop, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CloneChunkWriter::Post(void* buffer, std::uint64_t first, std::uint64_t count) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        buffer_ = buffer;
        first_ = first;
        count_ = count;
        pending_ = true;
    }
    posted_ = true;
    cv_.notify_all();
}

ErrorCode CloneChunkWriter::Wait() {
    if (!posted_) return err::kSuccess;
    std::unique_lock<std::mutex> guard(lock_);
    cv_.wait(guard, [this] { return !pending_; });
    posted_ = false;
    return result_;
}

void CloneChunkWriter::Loop() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        // A write handed over before the stop still runs: its buffer is the loop's to reuse
        // only after it ended.
        cv_.wait(guard, [this] { return pending_ || stop_; });
        if (!pending_) return;
        void* buffer = buffer_;
        const std::uint64_t first = first_, count = count_;
        guard.unlock();
        const ErrorCode e = write_(buffer, first, count);
        guard.lock();
        result_ = e;
        pending_ = false;
        cv_.notify_all();
    }
}

} // namespace tvd
