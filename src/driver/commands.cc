#include "driver/commands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "core/main_info.h"
#include "display/grid.h"
#include "search/run.h"
#include "select/selection.h"
#include "util/console.h"
#include "util/message.h"

namespace {

constexpr const char* kIndent = "   ";
constexpr int kMinWindow = 2;
constexpr int kMaxWindow = 1024;

// m n: the largest skip tried by a search without "/a".
void setSkipLimit(const char* arg) {
  const int n = readNumber(arg);
  if (n < 1) {
    errmsg("... %d: invalid number\n", n);
    return;
  }
  mainInfo.skipLimit = n;
  errmsg("... set the limit of skip number to %d\n", n);
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
void showInformation() {
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
}

// w c[,r]: the window size. A bad line count keeps the new column count.
void setWindowSize(const char* arg) {
  const int columns = readNumber(arg);
  if (columns < kMinWindow || columns > kMaxWindow) {
    errmsg("... %d: bad column length\n", columns);
    return;
  }
  mainInfo.width = columns;
  if (const char* comma = std::strchr(arg, ','); comma != nullptr) {
    const int lines = readNumber(comma + 1);
    if (lines < kMinWindow || lines > kMaxWindow) {
      errmsg("... %d: bad line length\n", lines);
      return;
    }
    mainInfo.height = lines;
  }
  errmsg("... columns = %d, lines = %d\n", mainInfo.width, mainInfo.height);
  if (mainInfo.returnLen < mainInfo.width) mainInfo.returnLen = mainInfo.width;
}

// f [t[,r]]: fix the grid's top position and row length, or cancel that. A bad
// return length keeps the new top position.
void setFixedArea(const char* arg) {
  arg = skipBlanks(arg);
  if (*arg == '\0') {
    mainInfo.topPos = -1;
    errmsg("... fixation of displaying area was canceled!\n");
    return;
  }
  const int top = readNumber(arg);
  if (top <= -mainInfo.width || top > mainInfo.textLen) {
    errmsg("... %d: invalid position\n", top);
    return;
  }
  mainInfo.topPos = top;
  if (const char* comma = std::strchr(arg, ','); comma != nullptr) {
    const int columns = readNumber(comma + 1);
    if (columns < kMinWindow || columns < mainInfo.width) {
      errmsg("... %d: bad return columns; %d < return number\n", columns, mainInfo.width - 1);
      return;
    }
    mainInfo.returnLen = columns;
  }
  errmsg("... displaying area info.: top=%d, return=%d\n", mainInfo.topPos, mainInfo.returnLen);
}

// s alone: drop the selection; its records stay for reuse.
void dropSelection() {
  mainInfo.areaStart = -1;
  mainInfo.areaEnd = -1;
  mainInfo.selectedCount = 0;
  errmsg("... selected strings were ommited!\n");
}

// /string[/a]: a new search. A trailing "/a" lifts the skip limit, but only
// after at least one letter ("//a" searches "/a").
void search(const char* arg, ListHeads* heads) {
  std::string_view wanted(arg);
  int all_skips = 0;
  if (wanted.size() > 2 && wanted.ends_with("/a")) {
    wanted.remove_suffix(2);
    all_skips = 1;
  }
  if (wanted.size() > static_cast<std::size_t>(kMaxPatternLen)) {
    // Refused before anything is replaced: the last search stays whole.
    errmsg("... searching string is too long (max. is %d)\n", kMaxPatternLen);
    return;
  }
  wanted.copy(mainInfo.pattern, wanted.size());
  mainInfo.pattern[wanted.size()] = '\0';
  mainInfo.patternLen = static_cast<int>(wanted.size());
  if (mainInfo.patternLen < 2) {
    // The hits of the last search stay and are shown with the new length.
    errmsg("... %s: invalid string\n", mainInfo.pattern);
    return;
  }
  searchBoth(1, all_skips, &heads->forwardHits, &heads->backwardHits);
}

// v: the hits of the last search again.
void listAgain(ListHeads* heads) {
  if (mainInfo.forwardCount == 0 && mainInfo.backwardCount == 0) {
    errmsg("... none of searched string\n");
    return;
  }
  searchBoth(0, 0, &heads->forwardHits, &heads->backwardHits);
}

// s [n]: drop the selection, or add hit n to it.
void select(const char* arg, ListHeads* heads) {
  arg = skipBlanks(arg);
  if (*arg == '\0') {
    dropSelection();
    return;
  }
  if (pickHit(kSelectHit, readNumber(arg), &heads->forwardHits, &heads->backwardHits,
              &heads->selections) == 0) {
    ++mainInfo.selectedCount;
  }
}

// p n: hit n in the grid.
void showHit(const char* arg, const ListHeads* heads) {
  pickHit(kShowHit, readNumber(arg), &heads->forwardHits, &heads->backwardHits, nullptr);
}

// P: every selected string in one grid window.
void showSelection(const ListHeads* heads) {
  if (mainInfo.selectedCount == 0) {
    errmsg("... no selected string\n");
    return;
  }
  showSelectionWindow(mainInfo.height, mainInfo.width, mainInfo.text, &heads->selections);
}

}  // namespace

CommandResult runCommand(const std::string& line, ListHeads* heads) {
  const char* command = skipBlanks(line.c_str());
  const char* arg = *command == '\0' ? command : command + 1;
  switch (*command) {
    case '\0':
      break;
    case 'q':
    case 'Q':
      return CommandResult::kQuit;
    case 'm':
      setSkipLimit(arg);
      break;
    case 'i':
      showInformation();
      break;
    case '/':
      search(arg, heads);
      break;
    case 'v':
      listAgain(heads);
      break;
    case 's':
      select(arg, heads);
      break;
    case 'p':
      showHit(arg, heads);
      break;
    case 'P':
      showSelection(heads);
      break;
    case 'l':
      listSelections(&heads->selections);
      break;
    case 'd':
      deleteSelections(arg, &heads->selections);
      break;
    case 'w':
      setWindowSize(arg);
      break;
    case 'f':
      setFixedArea(arg);
      break;
    default:
      errmsg("... %s: invalid command\n", line.c_str());
      break;
  }
  return CommandResult::kContinue;
}
