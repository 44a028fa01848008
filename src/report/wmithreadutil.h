// The WMI thread: one worker that owns its COM apartment and runs queued query jobs, newest
// first. Callers queue a job and wait for it; a query never runs on the caller's thread.
#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace tvd {

class clWmiBasicJob;

// What the thread does before its first job and after its last (Windows: COM for the thread).
struct WmiThreadHooks {
    bool (*initialize)() = nullptr; // false: the thread ends at once, running nothing
    void (*uninitialize)() = nullptr;
};
// The platform's hooks (Windows: CoInitializeEx and CoInitializeSecurity; elsewhere none).
WmiThreadHooks PlatformWmiHooks();

// Starts the worker; true when it runs (also when it already ran). Linux has no WMI: the
// platform's start answers false.
bool WmiThreadStart();
bool WmiThreadStart(const WmiThreadHooks& hooks);
// Stops the worker; jobs still queued are finished unrun, so that no waiter waits for them.
void WmiThreadStop();
bool WmiThreadRunning();
// Queues a job (the queue holds a reference); false without a running thread.
bool WmiThreadQueue(clWmiBasicJob* job);
// Queues `job` and waits for it: at most `totalMilliseconds` in all, in steps of 1000 ms. False
// at once without a running thread, and when the wait ran out (the job finishes later, safely).
bool WmiRunAndWait(clWmiBasicJob* job, unsigned totalMilliseconds = 30000);

// The string property of the first object of `cls` (WHERE `condition` when not empty); none
// without a WMI thread, on any failure, for an empty result and for a non-string property.
std::optional<std::u16string> WmiQueryString(const std::u16string& wmiNamespace,
                                             const std::u16string& cls,
                                             const std::u16string& property,
                                             const std::u16string& condition = {});

} // namespace tvd
