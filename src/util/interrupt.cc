#include "util/interrupt.h"

#include <csignal>
#include <cstdlib>

#if !defined(_WIN32)
#include <signal.h>
#endif

#include "util/message.h"

std::atomic<int> searching = 0;
std::atomic<int> interrupted = 0;
std::atomic<int> exitPending = 0;
std::atomic<int> waitingForInput = 0;
void (*interruptPollHook)() = nullptr;

void sigint(int) {
  // Some consoles reset the handler on delivery.
  installInterruptHandler();
  if (searching != 0) {
    interrupted = 1;
    return;
  }
  if (waitingForInput != 0) std::_Exit(1);
  exitPending = 1;
}

void installInterruptHandler() {
#if defined(_WIN32)
  // The console delivers each Ctrl-C once and resets the handler.
  std::signal(SIGINT, sigint);
#else
  struct sigaction action {};
  action.sa_handler = sigint;
  sigemptyset(&action.sa_mask);
#if defined(ELSSCAN_THREAD_SANITIZER)
  // ThreadSanitizer runs the handler only once the interrupted call returns,
  // which a restarted read never does.
  action.sa_flags = 0;
#else
  // Interrupted writes and reads carry on: a write to a full pipe that
  // failed instead would lose the output waiting in the C library's buffer.
  // A wait for input needs no interruption, as the handler ends the program
  // itself there.
  action.sa_flags = SA_RESTART;
#endif
  sigaction(SIGINT, &action, nullptr);
#endif
}

void pollInterrupt() {
  if (exitPending == 0) return;
  flushOutput();
  std::exit(1);
}

void beginScan() {
  searching = 1;
}

void endScan() {
  searching = 0;
  interrupted = 0;
}
