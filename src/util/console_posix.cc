// The console on Unix-like systems: a terminal or any other descriptor, read
// and written through the C library and write(2).
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "util/console_platform.h"

namespace {

// 1 when standard error is a terminal: set once by setUpConsole, before the
// Ctrl-C handler is installed, and only read after that.
std::atomic<int> errorIsTerminal = 0;

// A descriptor that another program left non-blocking refuses a write while
// its pipe is full: that is no failure, the reader has not caught up yet.
// Waits until it takes bytes again. A signal that cuts the wait short only
// makes it look again: a Ctrl-C is answered at the program's next poll, once
// the bytes before it are out, as with a blocking descriptor.
void waitForRoom(int descriptor) {
  pollfd output = {descriptor, POLLOUT, 0};
  poll(&output, 1, -1);
}

}  // namespace

void setUpConsole() {
  // Unbuffered already; said here so that no C library chooses otherwise.
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  errorIsTerminal = isatty(STDERR_FILENO) != 0 ? 1 : 0;
}

void restoreConsole() {}

// write(2) rather than the stream: the handler may run in the middle of a
// write to stderr.
void endTerminalLine() {
  if (errorIsTerminal == 0) return;
  while (write(STDERR_FILENO, "\n", 1) < 0 && errno == EINTR) {
  }
}

// A wait for input that a signal cuts short says so itself (EINTR).
int readInputByte(bool (* /*ctrl_c_pending*/)()) {
  errno = 0;
  const int c = std::getc(stdin);
  if (c != EOF || !std::ferror(stdin)) return c;
  const int error = errno;
  std::clearerr(stdin);
  if (error == EINTR) return kInputInterrupted;
  if (error == EAGAIN || error == EWOULDBLOCK) {
    // Nothing to read yet is not the end of the commands: wait for them.
    pollfd input = {fileno(stdin), POLLIN, 0};
    poll(&input, 1, -1);
    return kInputInterrupted;
  }
  errno = error != 0 ? error : EIO;
  return kInputFailed;
}

bool writeStream(std::FILE* stream, const char* bytes, std::size_t n) {
  if (std::fflush(stream) != 0) return false;
  const int descriptor = fileno(stream);
  while (n > 0) {
    const ssize_t done = write(descriptor, bytes, n);
    if (done < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        waitForRoom(descriptor);
        continue;
      }
      // Only an interruption or a full pipe is worth another try.
      if (errno != EINTR) return false;
      continue;
    }
    bytes += done;
    n -= static_cast<std::size_t>(done);
  }
  return true;
}
