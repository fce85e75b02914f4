// The benchmark's calls that differ between Linux and Windows: the process's
// processor time and memory, a Ctrl-C sent to itself, and the standard
// streams of a listing. Each says what it does where the system lacks it.
#ifndef BENCH_BENCH_PLATFORM_H_
#define BENCH_BENCH_PLATFORM_H_

#include <cstdio>

// Processor time of all the process's threads, user and system, in seconds.
double processCpuSeconds();

// Memory the process has in physical pages now, in bytes; -1 where unknown.
long long residentBytes();

// Starts the peak of residentBytes again from the present value. False where
// the system cannot (Windows): the peak then counts from the process's start.
bool resetPeakResident();

// The most that residentBytes reached since resetPeakResident, in bytes; -1
// where unknown.
long long peakResidentBytes();

// Sends the process a Ctrl-C: on Linux a real SIGINT; on Windows the call that
// the console's handler thread makes. Safe from any thread.
void sendCtrlC();

// Points standard input at replies and standard output at the null device,
// flushing it first. Returns a handle for restoreStandardOutput, or -1 (and
// changes nothing) where the system cannot (Windows).
int redirectForListing(std::FILE* replies);

// Gives standard output back after redirectForListing returned saved.
void restoreStandardOutput(int saved);

#endif  // BENCH_BENCH_PLATFORM_H_
