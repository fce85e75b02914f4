#include "bench_platform.h"

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
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
  using Clock = std::chrono::steady_clock;
  int in[2];
  int err[2];
  if (pipe(in) != 0 || pipe(err) != 0) return false;
  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(err[1], 2);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    for (const int fd : {in[0], in[1], err[0], err[1], null}) close(fd);
    execl(path, path, text, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(err[1]);
  Clock::time_point sent = start;
  if (delay < 0) {
    if (write(in[1], "q\n", 2) != 2) return false;
  } else {
    std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    sent = Clock::now();
    kill(pid, SIGINT);
  }
  // The prompt, or the memory message, is all the program writes there.
  std::string messages;
  char buffer[4096];
  for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) {
    messages.append(buffer, static_cast<std::size_t>(n));
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const Clock::time_point ended = Clock::now();
  close(in[1]);
  close(err[0]);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  run->seconds = std::chrono::duration<double>(ended - start).count();
  run->cpu_seconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  run->peak_bytes = static_cast<long long>(usage.ru_maxrss) * 1024;
  run->status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run->prompted = messages.find("command: ") != std::string::npos;
  run->latency_ms =
      delay >= 0 ? std::chrono::duration<double, std::milli>(ended - sent).count() : -1;
  return true;
}

#endif
