#include "jobs/clbenchmarkitem.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

namespace tvd {

namespace {

using Clock = std::chrono::steady_clock;

std::uint64_t Seed() {
    std::random_device device;
    const auto now = static_cast<std::uint64_t>(Clock::now().time_since_epoch().count());
    return (static_cast<std::uint64_t>(device()) << 32) ^ device() ^ now;
}

void FillRandom(MutableByteView data, std::mt19937_64& gen) {
    std::size_t i = 0;
    for (; i + 8 <= data.size(); i += 8) {
        const std::uint64_t v = gen();
        for (int k = 0; k < 8; ++k)
            data[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
    }
    for (; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(gen());
}

} // namespace

void ShuffleOffsets(std::vector<std::uint64_t>& offsets, std::uint64_t seed) {
    if (offsets.size() < 2) return;
    std::mt19937_64 gen(seed);
    for (std::size_t i = offsets.size() - 1; i > 0; --i) {
        std::uniform_int_distribution<std::size_t> pick(0, i);
        std::swap(offsets[i], offsets[pick(gen)]);
    }
}

float clBenchMarkItem::Progress() const {
    const std::uint32_t index = PassIndex();
    if (index >= passes) return 100.0f;
    const std::uint64_t perPass = BytesPerPass();
    const std::uint64_t total = perPass * passes;
    if (total == 0) return 0.0f;
    const std::uint64_t done =
        perPass * index +
        std::min<std::uint64_t>(bytesDone_.load(std::memory_order_acquire), perPass);
    const double p = static_cast<double>(done) * 100.0 / static_cast<double>(total);
    return p >= 100.0 ? 99.0f : static_cast<float>(p);
}

void clBenchMarkItem::Fail(ErrorCode e) {
    if (!error_) failure_ = e ? e : err::kGenFailure;
    error_ = true;
}

bool clBenchMarkItem::Prepare() {
    if (blockCount == 0 || queueDepth == 0 || transferSize == 0 || transferSize > stride ||
        transferSize % AlignedBuffer::kAlignment != 0) {
        Fail(err::kInvalidParameter);
        return false;
    }
    try {
        offsets_.resize(blockCount);
        for (std::uint32_t i = 0; i < blockCount; ++i)
            offsets_[i] = static_cast<std::uint64_t>(i) * stride;
        const std::uint64_t seed = Seed();
        if (!sequential) ShuffleOffsets(offsets_, seed);
        slots_.resize(queueDepth);
        std::mt19937_64 gen(seed ^ 0x9E3779B97F4A7C15ull);
        for (Slot& s : slots_) {
            if (!s.buffer.Allocate(transferSize)) {
                Fail(err::kNoSystemResources);
                return false;
            }
            FillRandom(s.buffer.View(), gen);
        }
    } catch (const std::bad_alloc&) {
        Fail(err::kNoSystemResources);
        return false;
    }
    return true;
}

void clBenchMarkItem::Issue(BenchIoFile& file, std::uint32_t slot, std::uint32_t n) {
    Slot& s = slots_[slot];
    s.state = Slot::kPending;
    const ErrorCode e = file.Start(slot, offsets_[n], s.buffer.View(transferSize));
    if (e == err::kSuccess) {
        bytesDone_.fetch_add(transferSize, std::memory_order_acq_rel);
        s.state = Slot::kFree;
    } else if (e != err::kIoPending && e != err::kIoIncomplete) {
        s.state = Slot::kFailed;
        Fail(e);
    }
}

void clBenchMarkItem::Reap(BenchIoFile& file) {
    bool completed = false;
    for (std::uint32_t i = 0; i < slots_.size(); ++i) {
        Slot& s = slots_[i];
        if (s.state != Slot::kPending) continue;
        const ErrorCode e = file.Check(i);
        if (e == err::kIoIncomplete) continue;
        if (e == err::kSuccess) {
            // What was asked, not what the system reports: a short transfer is an error above.
            bytesDone_.fetch_add(transferSize, std::memory_order_acq_rel);
            s.state = Slot::kFree;
        } else {
            s.state = Slot::kFailed;
            Fail(e);
        }
        completed = true;
    }
    if (!completed && !file.WaitAny(1) && Aborted()) Fail(err::kCancelled);
}

bool clBenchMarkItem::AnyPending() const {
    return std::any_of(slots_.begin(), slots_.end(),
                       [](const Slot& s) { return s.state == Slot::kPending; });
}

bool clBenchMarkItem::RunPass(BenchIoFile& file) {
    bytesDone_.store(0, std::memory_order_release);
    const auto start = Clock::now();
    const auto elapsedMs = [&start] {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    };
    const std::uint32_t prime = std::min(queueDepth, blockCount);
    std::uint32_t next = 0;
    for (; next < prime && !error_; ++next)
        Issue(file, next, next);
    while (!error_) {
        // Completions may keep the waits from ever timing out; the request is sampled here too.
        if (Aborted()) {
            Fail(err::kCancelled);
            break;
        }
        if (next < blockCount) {
            const auto free = std::find_if(slots_.begin(), slots_.end(),
                                           [](const Slot& s) { return s.state == Slot::kFree; });
            if (free != slots_.end()) {
                Issue(file, static_cast<std::uint32_t>(free - slots_.begin()), next);
                ++next;
            } else {
                Reap(file);
            }
        } else if (minDurationMs == 0 || elapsedMs() >= minDurationMs) {
            break;
        } else {
            next = 0;
        }
    }
    while (AnyPending())
        Reap(file);
    if (error_) return false;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double bytes = static_cast<double>(bytesDone_.load(std::memory_order_acquire));
    const float speed = seconds > 0.0 ? static_cast<float>(bytes / 1e6 / seconds) : 0.0f;
    if (speed > BestSpeed()) bestSpeed_.store(speed, std::memory_order_release);
    lastSpeed_.store(speed, std::memory_order_release);
    return true;
}

bool clBenchMarkItem::Run(BenchFolder& folder, const std::atomic<bool>* abort) {
    abort_ = abort;
    error_ = false;
    failure_ = err::kSuccess;
    bestSpeed_.store(0.0f, std::memory_order_release);
    passIndex_.store(0, std::memory_order_release);
    bytesDone_.store(0, std::memory_order_release);
    bool ok = false;
    if (Aborted()) {
        Fail(err::kCancelled);
    } else if (Prepare()) {
        ErrorCode e = err::kSuccess;
        std::unique_ptr<BenchIoFile> file = OpenFile(folder, e);
        if (!file) {
            Fail(e);
        } else {
            method_ = file->Method();
            while (!error_ && PassIndex() < passes) {
                for (std::uint32_t s = 0; s < sleepSeconds && !Aborted(); ++s)
                    std::this_thread::sleep_for(std::chrono::seconds(1));
                if (Aborted()) {
                    Fail(err::kCancelled);
                    break;
                }
                if (!RunPass(*file)) break;
                bytesDone_.store(0, std::memory_order_release);
                passIndex_.fetch_add(1, std::memory_order_acq_rel);
            }
            ok = !error_;
            if (ok) lastSpeed_.store(BestSpeed(), std::memory_order_release);
        }
        // The file goes before the buffers its requests used.
    }
    slots_.clear();
    offsets_.clear();
    return ok;
}

} // namespace tvd
