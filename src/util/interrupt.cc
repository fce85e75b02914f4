#include "util/interrupt.h"

#include <cstdlib>

#include "util/console_platform.h"
#include "util/message.h"
#include "util/process_exit.h"

std::atomic<int> searching = 0;
std::atomic<int> interrupted = 0;
std::atomic<int> exitPending = 0;
std::atomic<int> waitingForInput = 0;
void (*interruptPollHook)() = nullptr;
void (*scanBeginHook)() = nullptr;

namespace {

// The line break that a Ctrl-C leaves on a terminal, written once: on
// Windows the handler may end the program while the main thread's poll does
// the same, and on any system a second Ctrl-C may come while the first one
// ends it.
std::atomic<int> lineEnded = 0;

void endLineOnce() {
  if (lineEnded.exchange(1) == 0) endTerminalLine();
}

}  // namespace

void sigint(int) {
  // Some systems reset the handler on delivery.
  installInterruptHandler();
  if (searching != 0) {
    interrupted = 1;
    // Where the handler runs beside the scan's caller, the scan may have
    // ended, and its flags been cleared, in between: a flag left set now
    // would stop the next scan at once. The Ctrl-C came during the scan.
    if (searching == 0) interrupted = 0;
    return;
  }
  // exitPending is set before waitingForInput is read, and the reader sets
  // waitingForInput before it polls exitPending: where the handler runs on a
  // thread of its own, one of the two sees the other's flag.
  exitPending = 1;
  if (waitingForInput != 0) {
    endLineOnce();
    endProcess(1);
  }
  // The same pairing with beginScan, which sets searching before it looks at
  // exitPending: a scan that began after searching was read above, and
  // missed exitPending, is stopped here, and endScan then ends the program.
  if (searching != 0) interrupted = 1;
}

bool exitRequested() { return exitPending != 0; }

void pollInterrupt() {
  if (!exitRequested()) return;
  // The program ends here: a further Ctrl-C must not end it in the handler
  // before the line is ended.
  waitingForInput = 0;
  flushOutput();
  endLineOnce();
  std::exit(1);
}

void beginScan() {
  if (scanBeginHook != nullptr) scanBeginHook();
  searching = 1;
  // A Ctrl-C since the search command was read (the text measured, the list
  // emptied) was one outside a scan: it ends the program now rather than
  // after a scan that may run for minutes.
  pollInterrupt();
}

void endScan() {
  searching = 0;
  interrupted = 0;
  pollInterrupt();
}
