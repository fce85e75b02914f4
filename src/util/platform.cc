#include "util/platform.h"

#include <sys/stat.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

bool isRegularFile(const char* path) {
#if defined(_WIN32)
  struct _stat64 info;
  return _stat64(path, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat info;
  return stat(path, &info) == 0 && S_ISREG(info.st_mode);
#endif
}

#if defined(_WIN32)

MemoryStatus availableMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return {false, 0, 0};
  return {true, status.ullAvailPhys, status.ullTotalPhys};
}

#else

namespace {

// The value in kB of the /proc/meminfo line that starts with name, in bytes;
// false when the line is missing.
bool meminfoValue(const char* info, const char* name, std::uint64_t* bytes) {
  const char* line = std::strstr(info, name);
  if (line == nullptr) return false;
  const char* p = line + std::strlen(name);
  while (*p == ' ') ++p;
  if (*p < '0' || *p > '9') return false;
  std::uint64_t kb = 0;
  for (; *p >= '0' && *p <= '9'; ++p) kb = kb * 10 + static_cast<std::uint64_t>(*p - '0');
  *bytes = kb * 1024;
  return true;
}

}  // namespace

MemoryStatus availableMemory() {
  // The first lines hold what is needed; a fixed buffer keeps the heap out.
  char info[2048];
  const int fd = open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {false, 0, 0};
  std::size_t length = 0;
  while (length < sizeof info - 1) {
    const ssize_t n = read(fd, info + length, sizeof info - 1 - length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    length += static_cast<std::size_t>(n);
  }
  close(fd);
  info[length] = '\0';
  MemoryStatus status{true, 0, 0};
  if (!meminfoValue(info, "\nMemAvailable:", &status.available) ||
      !meminfoValue(info, "MemTotal:", &status.total)) {
    return {false, 0, 0};
  }
  return status;
}

#endif
