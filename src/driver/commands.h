// The commands typed at the prompt: one line each, dispatched on the first
// character after the leading spaces. Each command's letters, its function
// and its English help stand in one row of one table, which both the
// dispatch and --help read.
#ifndef SRC_DRIVER_COMMANDS_H_
#define SRC_DRIVER_COMMANDS_H_

#include <span>
#include <string>

#include "core/hit_list.h"
#include "core/main_info.h"

// The lists that the commands work on, owned by the command loop for the
// program's lifetime; all empty at start.
struct SessionLists {
  HitList forwardHits;   // the last search's hits in the text read forwards
  HitList backwardHits;  // the last search's hits in the text read backwards
  // The head record of the selection's chain, kept here for the program's
  // lifetime; it and the records after it hold the selected strings, the
  // first mainInfo.selectedCount of them (select/selection.h).
  Selection firstSelection;
};

enum class CommandResult { kContinue, kQuit };

// One form of a command, as --help lists it.
struct CommandForm {
  const char* synopsis;     // how it is typed ("p N"), at most 12 bytes;
                            // null for a form that the command lacks
  const char* description;  // what it does, in English; its lines joined by
                            // '\n', each at most 64 bytes
};

// A command: the bytes that start a line for it, its forms, and the
// function that carries it out on the rest of the line after the letter.
struct Command {
  const char* letters;
  CommandForm forms[2];
  CommandResult (*run)(const char* arg, SessionLists* lists);
};

// The commands, in the order in which --help lists them.
std::span<const Command> commandTable();

// Carries out one command line (without its newline): the command whose
// letters hold its first byte after the leading spaces. Returns kQuit for q
// and Q; everything else answers with its message and returns kContinue: an
// empty or blank line does nothing, and a line that starts with no command's
// letter writes "... <line>: invalid command\n".
CommandResult runCommand(const std::string& line, SessionLists* lists);

#endif  // SRC_DRIVER_COMMANDS_H_
