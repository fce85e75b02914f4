#include "driver/commands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "core/main_info.h"
#include "display/grid.h"
#include "search/run.h"
#include "select/hit_place.h"
#include "select/selection.h"
#include "text/text_filter.h"
#include "util/console.h"
#include "util/message.h"

namespace {

constexpr const char* kIndent = "   ";

// m n: the largest skip tried by a search without "/a".
CommandResult setSkipLimit(const char* arg, SessionLists*) {
  const int n = readNumber(arg);
  if (n < 1) {
    errmsg("... %d: invalid number\n", n);
    return CommandResult::kContinue;
  }
  mainInfo.skipLimit = n;
  errmsg("... set the limit of skip number to %d\n", n);
  return CommandResult::kContinue;
}

// An occupation line needs a precision, which errmsg's formatter lacks: the
// line is formatted first and then written unchanged (its only '%' stands
// before the newline).
void writeOccupation(const char* what, int span) {
  const double percent = static_cast<double>(span) / mainInfo.textLen * 100.0;
  constexpr const char* kFormat = "%s%s occupation = %.2f%%\n";
  const int length = std::snprintf(nullptr, 0, kFormat, kIndent, what, percent);
  std::string line(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(line.data(), line.size(), kFormat, kIndent, what, percent);
  errmsgLine(line.c_str());
}

// i: the information block.
CommandResult showInformation(const char*, SessionLists*) {
  errmsg("%stext length        = %d characters\n", kIndent, mainInfo.textLen);
  errmsg("%ssearching string   = %s\n", kIndent, mainInfo.pattern);
  errmsg("%ssearched number    = %d\n", kIndent, mainInfo.forwardCount + mainInfo.backwardCount);
  errmsg("%sdisplaying width   = %d columns\n", kIndent, mainInfo.width);
  errmsg("%sdisplaying height  = %d lines\n", kIndent, mainInfo.height);
  if (mainInfo.topPos != -1) {
    errmsg("%stop position       = %d\n", kIndent, mainInfo.topPos);
    errmsg("%sreturn length      = %d\n", kIndent, mainInfo.returnLen);
  }
  if (mainInfo.areaStart != -1) {
    errmsg("%sselected strings   = %d\n", kIndent, mainInfo.selectedCount);
    writeOccupation("strings", mainInfo.areaEnd - mainInfo.areaStart);
    writeOccupation("centers", mainInfo.centerMax - mainInfo.centerMin);
  }
  return CommandResult::kContinue;
}

// w c[,r]: the window size. A bad line count keeps the new column count.
CommandResult setWindowSize(const char* arg, SessionLists*) {
  const int columns = readNumber(arg);
  if (columns < kMinWindow || columns > kMaxWindow) {
    errmsg("... %d: bad column length\n", columns);
    return CommandResult::kContinue;
  }
  mainInfo.width = columns;
  if (const char* comma = std::strchr(arg, ','); comma != nullptr) {
    const int lines = readNumber(comma + 1);
    if (lines < kMinWindow || lines > kMaxWindow) {
      errmsg("... %d: bad line length\n", lines);
      return CommandResult::kContinue;
    }
    mainInfo.height = lines;
  }
  errmsg("... columns = %d, lines = %d\n", mainInfo.width, mainInfo.height);
  if (mainInfo.returnLen < mainInfo.width) mainInfo.returnLen = mainInfo.width;
  return CommandResult::kContinue;
}

// f [t[,r]]: fix the grid's top position and row length, or cancel that. A bad
// return length keeps the new top position.
CommandResult setFixedArea(const char* arg, SessionLists*) {
  arg = skipBlanks(arg);
  if (*arg == '\0') {
    mainInfo.topPos = -1;
    errmsg("... fixation of displaying area was canceled!\n");
    return CommandResult::kContinue;
  }
  const int top = readNumber(arg);
  if (top <= -mainInfo.width || top > mainInfo.textLen) {
    errmsg("... %d: invalid position\n", top);
    return CommandResult::kContinue;
  }
  mainInfo.topPos = top;
  if (const char* comma = std::strchr(arg, ','); comma != nullptr) {
    const int columns = readNumber(comma + 1);
    if (columns < kMinWindow || columns < mainInfo.width) {
      errmsg("... %d: bad return columns; %d < return number\n", columns, mainInfo.width - 1);
      return CommandResult::kContinue;
    }
    mainInfo.returnLen = columns;
  }
  errmsg("... displaying area info.: top=%d, return=%d\n", mainInfo.topPos, mainInfo.returnLen);
  return CommandResult::kContinue;
}

// /string[/a]: a new search. A trailing "/a" lifts the skip limit, but only
// after at least one letter ("//a" searches "/a").
CommandResult search(const char* arg, SessionLists* lists) {
  std::string_view wanted(arg);
  int all_skips = 0;
  if (wanted.size() > 2 && wanted.ends_with("/a")) {
    wanted.remove_suffix(2);
    all_skips = 1;
  }
  if (wanted.size() > static_cast<std::size_t>(kMaxPatternLen)) {
    // Refused before anything is replaced: the last search stays whole.
    errmsg("... searching string is too long (max. is %d)\n", kMaxPatternLen);
    return CommandResult::kContinue;
  }
  wanted.copy(mainInfo.pattern, wanted.size());
  mainInfo.pattern[wanted.size()] = '\0';
  // A text of letters alone is searched for letters in upper case.
  if (lettersOnly != 0) foldLetters(mainInfo.pattern);
  mainInfo.patternLen = static_cast<int>(wanted.size());
  if (mainInfo.patternLen < 2) {
    // The hits of the last search stay and are shown with the new length.
    errmsg("... %s: invalid string\n", mainInfo.pattern);
    return CommandResult::kContinue;
  }
  searchBoth(1, all_skips, &lists->forwardHits, &lists->backwardHits);
  return CommandResult::kContinue;
}

// v: the hits of the last search again.
CommandResult listAgain(const char*, SessionLists* lists) {
  if (mainInfo.forwardCount == 0 && mainInfo.backwardCount == 0) {
    errmsg("... none of searched string\n");
    return CommandResult::kContinue;
  }
  searchBoth(0, 0, &lists->forwardHits, &lists->backwardHits);
  return CommandResult::kContinue;
}

// s [n]: drop the selection, or add hit n to it.
CommandResult select(const char* arg, SessionLists* lists) {
  arg = skipBlanks(arg);
  if (*arg == '\0') {
    dropSelections();
    return CommandResult::kContinue;
  }
  if (pickHit(kSelectHit, readNumber(arg), &lists->forwardHits, &lists->backwardHits,
              &lists->firstSelection) == 0) {
    ++mainInfo.selectedCount;
  }
  return CommandResult::kContinue;
}

// p n: hit n in the grid.
CommandResult showHit(const char* arg, SessionLists* lists) {
  pickHit(kShowHit, readNumber(arg), &lists->forwardHits, &lists->backwardHits, nullptr);
  return CommandResult::kContinue;
}

// P: every selected string in one grid window.
CommandResult showSelection(const char*, SessionLists* lists) {
  if (mainInfo.selectedCount == 0) {
    errmsg("... no selected string\n");
    return CommandResult::kContinue;
  }
  showSelectionWindow(mainInfo.height, mainInfo.width, mainInfo.text, &lists->firstSelection);
  return CommandResult::kContinue;
}

// l: the selected strings.
CommandResult listSelected(const char*, SessionLists* lists) {
  listSelections(&lists->firstSelection);
  return CommandResult::kContinue;
}

// d [n]: delete selected string n, or ask about each one.
CommandResult deleteSelected(const char* arg, SessionLists* lists) {
  deleteSelections(arg, &lists->firstSelection);
  return CommandResult::kContinue;
}

// r [n]: where hit n, or every selected string, stands in the text file.
CommandResult placeInFile(const char* arg, SessionLists* lists) {
  arg = skipBlanks(arg);
  if (*arg == '\0') {
    placeSelections(&lists->firstSelection);
  } else {
    placeHit(readNumber(arg), &lists->forwardHits, &lists->backwardHits);
  }
  return CommandResult::kContinue;
}

// q, Q: the end of the session.
CommandResult quit(const char*, SessionLists*) { return CommandResult::kQuit; }

// clang-format off
constexpr Command kCommands[] = {
    {"/", {{"/STRING", "search STRING over skips 1 to the limit and list the hits"},
           {"/STRING/a", "search STRING over every skip that fits in the text"}}, search},
    {"v", {{"v", "list the hits of the last search again"}}, listAgain},
    {"p", {{"p N", "draw hit N in a grid window, its letters in reverse video"}}, showHit},
    {"s", {{"s N", "add hit N to the selection"},
           {"s", "drop the whole selection"}}, select},
    {"l", {{"l", "list the selected strings"}}, listSelected},
    {"d", {{"d N", "delete selected string N"},
           {"d", "ask about each selected string whether to delete it"}}, deleteSelected},
    {"P", {{"P", "draw all selected strings in one window"}}, showSelection},
    {"i", {{"i", "show the text length, search string, hit count, window\n"
                 "settings and selection"}}, showInformation},
    {"m", {{"m N", "set the skip limit (default 10000)"}}, setSkipLimit},
    {"w", {{"w C[,R]", "set the window to C columns and R rows (2 to 1024;\n"
                       "default 78 and 20)"}}, setWindowSize},
    {"f", {{"f T[,R]", "fix the window's top position T and row length R"},
           {"f", "let the window follow the hit again"}}, setFixedArea},
    {"r", {{"r N", "where hit N stands in the file: the line and byte column of\n"
                   "the letters at its start and end (and their labels)"},
           {"r", "the same for each selected string, numbered as d numbers them"}}, placeInFile},
    {"qQ", {{"q, Q", "quit; so does the end of input"}}, quit},
};
// clang-format on

}  // namespace

std::span<const Command> commandTable() { return kCommands; }

CommandResult runCommand(const std::string& line, SessionLists* lists) {
  const char* command = skipBlanks(line.c_str());
  if (*command == '\0') return CommandResult::kContinue;
  for (const Command& entry : kCommands) {
    if (std::strchr(entry.letters, *command) != nullptr) return entry.run(command + 1, lists);
  }
  errmsg("... %s: invalid command\n", line.c_str());
  return CommandResult::kContinue;
}
