#include "jobs/jobthreadutil.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "foundation/clzoltitemlist.h"
#include "jobs/clkernelbasicjob.h"

namespace tvd {

namespace {

// The queue is touched by the window thread (append) and the worker (take): one lock guards it
// and the stop request, and the condition variable is the wake event.
struct JobThreadState {
    // A program that ends without JobThreadStop still ends: the worker is stopped, not left
    // joinable (which would terminate the process).
    ~JobThreadState() {
        if (!worker.joinable()) return;
        {
            std::lock_guard<std::mutex> q(lock);
            stopRequest = true;
        }
        wake.notify_all();
        worker.join();
    }
    std::mutex lock;
    std::condition_variable wake;
    bool stopRequest = false;
    clZoltItemList queue;
    std::thread worker;
};

// Guards the pointer itself: start, queue and stop may come from different threads.
std::mutex g_stateLock;
std::unique_ptr<JobThreadState> g_state;

void RunOne(clKernelBasicJob* job) {
    try {
        job->Run();
    } catch (...) {
        // The job could not finish itself; it ends as failed so that its poller sees an end.
        job->MarkThrew();
        job->Finish();
    }
    // A Run that returned without calling Finish would be waited for forever.
    if (!job->Done()) {
        job->MarkThrew();
        job->Finish();
    }
}

void WorkerLoop(JobThreadState* s) {
    for (;;) {
        ZoltRef<clKernelBasicJob> job;
        {
            std::unique_lock<std::mutex> guard(s->lock);
            s->wake.wait_for(guard, std::chrono::milliseconds(1000),
                             [s] { return s->stopRequest || !s->queue.IsEmpty(); });
            if (s->stopRequest) return;
            if (s->queue.IsEmpty()) continue;
            job = ZoltRef<clKernelBasicJob>::Adopt(
                static_cast<clKernelBasicJob*>(s->queue.TakeLast()));
        }
        RunOne(job.Get());
    }
}

} // namespace

bool JobThreadStart() {
    std::lock_guard<std::mutex> guard(g_stateLock);
    if (g_state) return true;
    auto s = std::make_unique<JobThreadState>();
    try {
        s->worker = std::thread(WorkerLoop, s.get());
    } catch (...) {
        return false;
    }
    g_state = std::move(s);
    return true;
}

bool JobThreadQueue(clKernelBasicJob* job) {
    if (!job) return false;
    std::lock_guard<std::mutex> guard(g_stateLock);
    JobThreadState* s = g_state.get();
    if (!s) return false;
    {
        std::lock_guard<std::mutex> q(s->lock);
        if (s->stopRequest || !job->MarkQueued()) return false;
        if (!s->queue.Append(job)) return false;
    }
    s->wake.notify_one();
    return true;
}

void JobThreadStop() {
    std::unique_ptr<JobThreadState> s;
    {
        std::lock_guard<std::mutex> guard(g_stateLock);
        s = std::move(g_state);
    }
    if (!s) return;
    {
        std::lock_guard<std::mutex> q(s->lock);
        s->stopRequest = true;
    }
    s->wake.notify_all();
    if (s->worker.joinable()) s->worker.join();
    // Jobs that never ran are released here, unrun.
    s->queue.Clear();
}

bool JobThreadRunning() {
    std::lock_guard<std::mutex> guard(g_stateLock);
    return g_state != nullptr;
}

std::size_t JobThreadPending() {
    std::lock_guard<std::mutex> guard(g_stateLock);
    if (!g_state) return 0;
    std::lock_guard<std::mutex> q(g_state->lock);
    return g_state->queue.Count();
}

} // namespace tvd
