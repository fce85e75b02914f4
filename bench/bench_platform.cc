#include "bench_platform.h"

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>
#else
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "unit/child_process.h"
#endif

#if defined(_WIN32)

double processCpuSeconds() {
  FILETIME created;
  FILETIME exited;
  FILETIME kernel;
  FILETIME user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  // Both in units of 100 ns.
  const auto seconds = [](const FILETIME& t) {
    return static_cast<double>(static_cast<unsigned long long>(t.dwHighDateTime) << 32 |
                               t.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

namespace {

bool memoryCounters(PROCESS_MEMORY_COUNTERS* counters) {
  return K32GetProcessMemoryInfo(GetCurrentProcess(), counters, sizeof *counters) != 0;
}

}  // namespace

long long residentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  return memoryCounters(&counters) ? static_cast<long long>(counters.WorkingSetSize) : -1;
}

bool resetPeakResident() { return false; }

long long peakResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  return memoryCounters(&counters) ? static_cast<long long>(counters.PeakWorkingSetSize) : -1;
}

int redirectForListing(std::FILE*) { return -1; }

void restoreStandardOutput(int) {}

bool runProgramOnText(const char*, const char*, double, ProgramRun*) { return false; }

#else

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

namespace {

// A field of /proc/self/status in bytes (the file gives kB); -1 where missing.
long long statusBytes(const char* field) {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long long kb = -1;
  const std::size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
      kb = std::atoll(line + length + 1);
    }
  }
  std::fclose(status);
  return kb < 0 ? -1 : kb * 1024;
}

}  // namespace

long long residentBytes() { return statusBytes("VmRSS"); }

// Writing 5 to clear_refs makes VmHWM start again from the present VmRSS.
bool resetPeakResident() {
  std::FILE* refs = std::fopen("/proc/self/clear_refs", "w");
  if (refs == nullptr) return false;
  const bool written = std::fputs("5", refs) >= 0;
  return std::fclose(refs) == 0 && written;
}

long long peakResidentBytes() { return statusBytes("VmHWM"); }

int redirectForListing(std::FILE* replies) {
  if (dup2(fileno(replies), STDIN_FILENO) < 0) return -1;
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  if (saved < 0 || std::freopen("/dev/null", "w", stdout) == nullptr) return -1;
  return saved;
}

void restoreStandardOutput(int saved) {
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
}

bool runProgramOnText(const char* path, const char* text, double delay, ProgramRun* run) {
  using Clock = ChildProcess::Clock;
  const Clock::time_point start = Clock::now();
  ChildProcess program({path, text});
  if (!program.started()) return false;
  Clock::time_point sent = start;
  if (delay < 0) {
    if (!program.write("q\n")) return false;
  } else {
    std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    sent = Clock::now();
    program.interrupt();
  }
  // The longest load of the benchmark takes seconds; an hour is a hang.
  const int status = program.wait(std::chrono::hours(1));
  const Clock::time_point ended = Clock::now();
  if (status < 0) return false;
  run->seconds = std::chrono::duration<double>(ended - start).count();
  run->cpu_seconds = program.cpuSeconds();
  run->peak_bytes = program.peakBytes();
  run->status = status;
  // The prompt, or the memory message, is all the program writes there.
  run->prompted = program.err().find("command: ") != std::string::npos;
  run->latency_ms =
      delay >= 0 ? std::chrono::duration<double, std::milli>(ended - sent).count() : -1;
  return true;
}

#endif
