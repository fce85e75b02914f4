#include "util/process_exit.h"

#include <cstdlib>

#include "util/compiler.h"
#include "util/console_platform.h"

void endProcess(int status) {
  restoreConsole();
  ELSSCAN_FLUSH_COVERAGE();
  std::_Exit(status);
}
