#include "util/console.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/console_platform.h"
#include "util/interrupt.h"
#include "util/message.h"

namespace {

// Commands that cannot be read are not the end of them: a session that
// quit with status 0 here would pass for one that ran every command.
[[noreturn]] void commandsUnreadable(int error) {
  waitingForInput = 0;
  errmsg("cannot read the commands: %s\n", std::strerror(error));
  std::exit(1);
}

}  // namespace

bool readLine(std::string* line) {
  line->clear();
  flushOutput();
  // Set before the poll: a Ctrl-C from here on ends the program in the
  // handler, one that came before is seen by the poll.
  waitingForInput = 1;
  pollInterrupt();
  bool any = false;
  bool ended_by_lf = false;
  for (;;) {
    const int c = readInputByte(exitRequested);
    if (c == kInputInterrupted) {
      pollInterrupt();
      continue;
    }
    if (c == kInputFailed) commandsUnreadable(errno);
    if (c == EOF) break;
    any = true;
    if (c == '\n') {
      ended_by_lf = true;
      break;
    }
    line->push_back(static_cast<char>(c));
  }
  waitingForInput = 0;
  if (ended_by_lf && !line->empty() && line->back() == '\r') line->pop_back();
  const std::size_t nul = line->find('\0');
  if (nul != std::string::npos) line->resize(nul);
  return any;
}

int readNumber(const char* s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  const bool negative = *s == '-';
  if (*s == '-' || *s == '+') ++s;
  long long value = 0;
  for (; *s >= '0' && *s <= '9'; ++s) {
    value = value * 10 + (*s - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) return static_cast<int>(-value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

const char* skipBlanks(const char* s) {
  while (*s == ' ') ++s;
  return s;
}
