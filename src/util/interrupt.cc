#include "util/interrupt.h"

#include <csignal>
#include <cstdlib>

#if !defined(_WIN32)
#include <signal.h>
#endif

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
  action.sa_flags = 0;  // no SA_RESTART: a waiting read returns at once
  sigaction(SIGINT, &action, nullptr);
#endif
}

void pollInterrupt() {
  if (exitPending != 0) std::exit(1);
}

void beginScan() {
  searching = 1;
}

void endScan() {
  searching = 0;
  interrupted = 0;
}
