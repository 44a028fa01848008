// The job thread: one worker that runs queued jobs one at a time, newest first. It exists from
// KernelStart to KernelFinalize (the command-line tool starts and stops it around its jobs).
#pragma once
#include <cstddef>

namespace tvd {

class clKernelBasicJob;

// Creates the queue and starts the worker; true when it runs (also when it already ran).
bool JobThreadStart();
// Queues a job (the queue holds a reference) and wakes the worker. False without a job thread,
// for a null job, and for a job that was queued or run before: a job never runs twice.
bool JobThreadQueue(clKernelBasicJob* job);
// Stops the worker after the running job's Run has returned; queued jobs are released unrun.
void JobThreadStop();
bool JobThreadRunning();
// Jobs waiting in the queue (not counting one that runs).
std::size_t JobThreadPending();

} // namespace tvd
