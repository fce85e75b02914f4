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

// Points standard input at replies and standard output at the null device,
// flushing it first. Returns a handle for restoreStandardOutput, or -1 (and
// changes nothing) where the system cannot (Windows).
int redirectForListing(std::FILE* replies);

// Gives standard output back after redirectForListing returned saved.
void restoreStandardOutput(int saved);

// One run of the program at path on text, its standard output thrown away.
struct ProgramRun {
  double seconds;        // from its start to its exit
  double cpu_seconds;    // its processor time, user and system
  long long peak_bytes;  // its largest resident set
  int status;            // its exit status, or 128 + the signal that ended it
  bool prompted;         // it wrote "command: " (the load was over)
  double latency_ms;     // from the Ctrl-C to its exit; -1 without one
};

// Runs the program with the command q alone when delay is below 0; else
// with no command and a real Ctrl-C (SIGINT) after delay seconds. False,
// with nothing run, where the system's build cannot (Windows).
bool runProgramOnText(const char* path, const char* text, double delay, ProgramRun* run);

#endif  // BENCH_BENCH_PLATFORM_H_
