#include "driver/interrupt.h"

#include <cstdlib>

#include "driver/main_info.h"
#include "util/console.h"
#include "util/platform.h"

void sigint(int) {
  // Some consoles reset the handler on delivery.
  installInterruptHandler(sigint);
  if (searching != 0) {
    interrupted = 1;
    return;
  }
  if (waitingForInput != 0) std::_Exit(1);
  exitPending = 1;
}
