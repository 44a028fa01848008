// Runs a job of the engine from the command line: queued on the job thread, polled every 100 ms
// like the window does, with a progress bar on standard error and Ctrl-C turned into Abort.
#pragma once
#include <cstdio>

#include "jobs/clkernelbasicjob.h"

namespace tvd::cli {

struct JobRunResult {
    JobOutcome outcome = JobOutcome::kFailed;
    bool interrupted = false; // Ctrl-C (or RequestInterrupt) asked the job to stop
    bool queued = false;      // false: the job thread would not take the job
    double seconds = 0;
};

// Starts the job thread for the run and stops it afterwards. `label` heads the progress line.
JobRunResult RunJobWithProgress(clKernelBasicJob* job, const char* label, std::FILE* err);

// What Ctrl-C does while a job runs; callable from any thread (the tests use it).
void RequestInterrupt();

// The exit status of a job's outcome: 0 done, 130 stopped by the user, 1 otherwise.
int JobExitStatus(const JobRunResult& r);

} // namespace tvd::cli
