// The commands typed at the prompt: one line each, dispatched on the first
// character after the leading spaces.
#ifndef SRC_DRIVER_COMMANDS_H_
#define SRC_DRIVER_COMMANDS_H_

#include <string>

#include "core/hit_list.h"
#include "core/main_info.h"

// The list heads that belong to the command loop; all zero at start.
struct ListHeads {
  HitList forwardHits;
  HitList backwardHits;
  Selection selections;
};

enum class CommandResult { kContinue, kQuit };

// Carries out one command line (without its newline). Returns kQuit for q and
// Q; everything else, bad input included, answers with its message and
// returns kContinue.
CommandResult runCommand(const std::string& line, ListHeads* heads);

#endif  // SRC_DRIVER_COMMANDS_H_
