#include "util/platform.h"

#include <sys/stat.h>

bool isRegularFile(const char* path) {
#if defined(_WIN32)
  struct _stat64 info;
  return _stat64(path, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat info;
  return stat(path, &info) == 0 && S_ISREG(info.st_mode);
#endif
}
