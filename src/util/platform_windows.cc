#include <io.h>
#include <windows.h>

#include <cstring>
#include <initializer_list>

#include "util/platform.h"

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

bool isRegularFile(const char* path) {
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
}

bool regularFileSize(std::FILE* file, std::uint64_t* size) {
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
  return true;
}

bool seekFile(std::FILE* file, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

// Large pages on Windows need a privilege that users seldom have.
void adviseHugePages(void* /*block*/, std::size_t /*size*/) {}
