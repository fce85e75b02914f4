#include "util/platform.h"

#include <csignal>

#include <sys/stat.h>
#if !defined(_WIN32)
#include <signal.h>
#endif

void installInterruptHandler(void (*handler)(int)) {
#if defined(_WIN32)
  // The console delivers each Ctrl-C once and resets the handler.
  std::signal(SIGINT, handler);
#else
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a waiting read returns at once
  sigaction(SIGINT, &action, nullptr);
#endif
}

bool isRegularFile(const char* path) {
#if defined(_WIN32)
  struct _stat64 info;
  return _stat64(path, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat info;
  return stat(path, &info) == 0 && S_ISREG(info.st_mode);
#endif
}
