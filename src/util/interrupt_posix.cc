#include <signal.h>

#include "util/interrupt.h"

void installInterruptHandler() {
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
}
