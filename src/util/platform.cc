#include "util/platform.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>

#include <cstring>
#include <initializer_list>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#if defined(_WIN32)
namespace {

// True for a name that Windows maps to a device wherever it stands: CON, PRN,
// AUX, NUL, COM0 to COM9, LPT0 to LPT9 (any case), also with an extension or
// a colon after it and blanks before those ("nul.txt", "COM1:", "con .c"),
// and the console's own CONIN$ and CONOUT$.
bool isDeviceName(const char* path) {
  // The last component. The path is in the ANSI code page, where the second
  // byte of a double-byte character may be a backslash.
  const char* name = path;
  if (path[0] != '\0' && path[1] == ':') name = path + 2;
  for (const char* p = name; *p != '\0'; ++p) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') {
      ++p;
    } else if (*p == '\\' || *p == '/') {
      name = p + 1;
    }
  }
  std::size_t length = std::strcspn(name, ".:");
  while (length > 0 && name[length - 1] == ' ') --length;
  char base[8] = {};
  if (length >= sizeof base) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = name[i];
    base[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (std::strcmp(base, device) == 0) return true;
  }
  return length == 4 && (std::strncmp(base, "COM", 3) == 0 || std::strncmp(base, "LPT", 3) == 0) &&
         base[3] >= '0' && base[3] <= '9';
}

}  // namespace
#endif

bool isRegularFile(const char* path) {
#if defined(_WIN32)
  // A device is never opened: a serial port may keep the open waiting.
  if (isDeviceName(path)) return false;
  if (std::strncmp(path, "\\\\.\\", 4) == 0 || std::strncmp(path, "//./", 4) == 0) return false;
  // What the name leads to is asked of an open handle, which also answers for
  // the system's other ways to reach a device or a pipe.
  const HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool regular = GetFileType(file) == FILE_TYPE_DISK &&
                       GetFileInformationByHandle(file, &info) &&
                       (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  CloseHandle(file);
  return regular;
#else
  struct stat info;
  return stat(path, &info) == 0 && S_ISREG(info.st_mode);
#endif
}

bool regularFileSize(std::FILE* file, std::uint64_t* size) {
#if defined(_WIN32)
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION info;
  LARGE_INTEGER bytes;
  if (!GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !GetFileSizeEx(handle, &bytes) ||
      bytes.QuadPart < 0) {
    return false;
  }
  *size = static_cast<std::uint64_t>(bytes.QuadPart);
#else
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return false;
  *size = static_cast<std::uint64_t>(info.st_size);
#endif
  return true;
}

#if defined(_WIN32)

MemoryStatus availableMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return {false, 0, 0};
  return {true, status.ullAvailPhys, status.ullTotalPhys};
}

// Large pages on Windows need a privilege that users seldom have.
void adviseHugePages(void* /*block*/, std::size_t /*size*/) {}

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

void adviseHugePages(void* block, std::size_t size) {
#if defined(MADV_HUGEPAGE)
  // madvise takes whole pages: the ones that lie within the block.
  constexpr std::uintptr_t kPage = 4096;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + kPage - 1) & ~(kPage - 1);
  const std::uintptr_t end = (start + size) & ~(kPage - 1);
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)size;
#endif
}

#endif
