#include "report/clwmibasicjob.h"

#include <chrono>

namespace tvd {

void clWmiBasicJob::Finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    doneEvent_.notify_all();
}

bool clWmiBasicJob::Done() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_;
}

bool clWmiBasicJob::WaitDone(unsigned milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return doneEvent_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                               [&] { return done_; });
}

} // namespace tvd
