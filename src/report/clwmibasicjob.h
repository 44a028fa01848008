// A query job of the WMI thread: run there, waited for by the caller. Both hold a reference, so
// a caller that gave up waiting and a thread that finishes late are both safe.
#pragma once
#include <condition_variable>
#include <mutex>
#include <string>

#include "foundation/clzoltitem.h"

namespace tvd {

class clWmiBasicJob : public clZoltItem {
public:
    TVD_ISA(clWmiBasicJob, clZoltItem)
    explicit clWmiBasicJob(std::u16string wmiNamespace = u"ROOT\\CIMV2")
        : namespace_(std::move(wmiNamespace)) {}

    // Runs on the WMI thread (base: nothing).
    virtual void Run() {}
    const std::u16string& Namespace() const { return namespace_; }

    // Marks the job done and wakes its waiter.
    void Finish();
    bool Done() const;
    // Waits at most `milliseconds` for Finish; true when done.
    bool WaitDone(unsigned milliseconds);

private:
    std::u16string namespace_;
    mutable std::mutex mutex_;
    std::condition_variable doneEvent_;
    bool done_ = false;
};

} // namespace tvd
