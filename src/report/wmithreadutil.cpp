#include "report/wmithreadutil.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "report/clwmibasicjob.h"

namespace tvd {

namespace {

struct WmiThreadState {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<clWmiBasicJob*> queue; // each holds a reference
    bool stopRequested = false;
    bool running = false;
    std::thread thread;
};

WmiThreadState& State() {
    static WmiThreadState state;
    return state;
}

void Worker(WmiThreadHooks hooks) {
    WmiThreadState& s = State();
    const bool ready = !hooks.initialize || hooks.initialize();
    for (;;) {
        clWmiBasicJob* job = nullptr;
        {
            std::unique_lock<std::mutex> lock(s.mutex);
            s.wake.wait_for(lock, std::chrono::milliseconds(1000),
                            [&] { return s.stopRequested || !s.queue.empty() || !ready; });
            if (s.stopRequested || !ready) break;
            if (s.queue.empty()) continue;
            job = s.queue.back(); // newest first
            s.queue.pop_back();
        }
        job->Run();
        job->Finish();
        job->Release();
    }
    if (ready && hooks.uninitialize) hooks.uninitialize();
    // Whatever is still queued is finished unrun: its waiter gets "none" now, not never.
    std::deque<clWmiBasicJob*> left;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        left.swap(s.queue);
        s.running = false;
    }
    for (clWmiBasicJob* job : left) {
        job->Finish();
        job->Release();
    }
}

} // namespace

bool WmiThreadStart() {
    const WmiThreadHooks hooks = PlatformWmiHooks();
    if (!hooks.initialize) return false; // no WMI on this platform
    return WmiThreadStart(hooks);
}

bool WmiThreadStart(const WmiThreadHooks& hooks) {
    WmiThreadState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.running) return true;
    if (s.thread.joinable()) s.thread.join(); // a thread that ended by itself
    s.stopRequested = false;
    s.running = true;
    try {
        s.thread = std::thread(Worker, hooks);
    } catch (const std::system_error&) {
        s.running = false; // no thread: queries answer none at once
        return false;
    }
    return true;
}

void WmiThreadStop() {
    WmiThreadState& s = State();
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.stopRequested = true;
        thread = std::move(s.thread);
    }
    s.wake.notify_all();
    if (thread.joinable()) thread.join();
}

bool WmiThreadRunning() {
    WmiThreadState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.running && !s.stopRequested;
}

bool WmiThreadQueue(clWmiBasicJob* job) {
    if (!job) return false;
    WmiThreadState& s = State();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.running || s.stopRequested) return false;
        job->AddRef();
        s.queue.push_back(job);
    }
    s.wake.notify_all();
    return true;
}

bool WmiRunAndWait(clWmiBasicJob* job, unsigned totalMilliseconds) {
    if (!WmiThreadQueue(job)) return false;
    for (unsigned waited = 0; waited < totalMilliseconds; waited += 1000) {
        const unsigned step = std::min(1000u, totalMilliseconds - waited);
        if (job->WaitDone(step)) return true;
        if (!WmiThreadRunning() && job->Done()) return true;
    }
    return job->Done();
}

} // namespace tvd
