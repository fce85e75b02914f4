#include "driver/help.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/commands.h"
#include "util/message.h"

#ifndef ELSSCAN_VERSION
#error "ELSSCAN_VERSION must come from the build (the CMake project version)"
#endif

const char* const versionText = ELSSCAN_VERSION;

namespace {

// The help before and after the commands, whose lines come from the command
// table.
constexpr const char* kHelpBeforeCommands =
    "Usage: elsScan [-c] TEXT_FILE\n"
    "       elsScan -usage | --help | --version\n"
    "\n"
    "Reads TEXT_FILE (ASCII or Shift-JIS) and joins it into one line, then\n"
    "takes commands at the prompt \"command: \". A search finds every place\n"
    "where the letters of a string stand a fixed number of bytes apart (the\n"
    "skip), first in the line read forwards, then read backwards. Letters are\n"
    "bytes, compared exactly: case matters.\n"
    "\n"
    "Options:\n"
    "  -c           also drop every byte of value 0x20 or below (blanks, tabs,\n"
    "               control bytes); line breaks are always dropped\n"
    "  -usage       print the usage text in Japanese (Shift-JIS)\n"
    "  --help       print this help (only as the sole argument)\n"
    "  --version    print the version (only as the sole argument)\n"
    "Name a file that begins with - as ./NAME: ./--help, ./-usage.\n"
    "\n"
    "Commands:\n";

constexpr const char* kHelpAfterCommands =
    "\n"
    "A hit is listed as \"(N): skip=S, string=(START,CENTER,END)\", positions\n"
    "counted from 1 in the joined line; a backward hit has a negative skip.\n"
    "After every 24 lines the listing waits at \"continued ... \"; a reply\n"
    "starting with q stops that part of the listing.\n"
    "\n"
    "Ctrl-C during a search stops that scan and keeps the hits found so far;\n"
    "at any other time it ends the program with status 1.\n"
    "\n"
    "Exit status: 0 after q, Q, the end of input, -usage, --help or --version;\n"
    "1 on a wrong command line, a missing or empty text, Ctrl-C outside a\n"
    "search, exhausted memory, commands that cannot be read (standard input a\n"
    "directory or closed), or a failed write of this help or the version.\n"
    "\n"
    "More in the manual: man elsScan.\n";

// A form's synopsis stands after two blanks in a column of this width, and
// the further lines of its description under its first line.
constexpr std::size_t kSynopsisWidth = 13;

void appendCommandLines(std::string* out) {
  for (const Command& command : commandTable()) {
    for (const CommandForm& form : command.forms) {
      if (form.synopsis == nullptr) continue;
      std::string synopsis = form.synopsis;
      synopsis.resize(kSynopsisWidth, ' ');
      *out += "  " + synopsis;
      for (const char* p = form.description; *p != '\0'; ++p) {
        out->push_back(*p);
        if (*p == '\n') out->append(2 + kSynopsisWidth, ' ');
      }
      out->push_back('\n');
    }
  }
}

// Writes text to standard output; one that cannot be written ends the
// program as every failed write does (status 1, with its reason).
int writeText(const char* text) {
  if (!writeOut(stdout, text, std::strlen(text))) outputFailed(errno);
  flushOutput();
  return 0;
}

}  // namespace

const std::string& helpText() {
  static const std::string text = [] {
    std::string help = kHelpBeforeCommands;
    appendCommandLines(&help);
    return help + kHelpAfterCommands;
  }();
  return text;
}

int showHelp() { return writeText(helpText().c_str()); }

int showVersion() {
  const std::string line = std::string("elsScan ") + versionText + "\n";
  return writeText(line.c_str());
}
