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
    "Usage: elsScan [-c] [--no-pager] [--letters] [--labels] TEXT_FILE\n"
    "       elsScan -usage | --help | --version\n"
    "\n"
    "Reads TEXT_FILE (ASCII or Shift-JIS) and joins it into one line, then\n"
    "takes commands at the prompt \"command: \". A search finds every place\n"
    "where the letters of a string stand a fixed number of bytes apart (the\n"
    "skip), first in the line read forwards, then read backwards. Letters are\n"
    "bytes, compared exactly: case matters, unless --letters is given.\n"
    "\n"
    "Options, before TEXT_FILE in any order (an unknown one is an error):\n"
    "  -c           also drop every byte of value 0x20 or below (blanks, tabs,\n"
    "               control bytes); line breaks are always dropped\n"
    "  --no-pager   list every hit line without waiting at \"continued ... \"\n"
    "  --letters    load the letters alone: ASCII letters in upper case,\n"
    "               Shift-JIS characters save the symbols (lead byte 0x81),\n"
    "               and half-width katakana; every other byte is dropped (so\n"
    "               -c too). A search string's ASCII letters count in upper\n"
    "               case: /Moses finds what /MOSES finds\n"
    "  --labels     the first word of every line (up to a blank, tab or line\n"
    "               break) is the line's label, a verse reference say: it and\n"
    "               the blanks after it are left out of the text; r shows it\n"
    "  -usage       print the usage text in Japanese (Shift-JIS), kept byte for\n"
    "               byte with the version it was written for (\"Version: 1.22\");\n"
    "               --version gives this program's release\n"
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
    "starting with q stops that part of the listing. In a script, --no-pager\n"
    "keeps every hit:\n"
    "  printf '/MOSES\\nq\\n' | elsScan --no-pager book.txt > hits.txt\n"
    "Without it, empty lines let the listing run on; 100000 of them carry 2.4\n"
    "million hit lines, and each one left over writes a prompt:\n"
    "  (echo /MOSES; yes '' | head -n 100000; echo q) | elsScan book.txt > hits.txt\n"
    "\n"
    "r N writes where hit N stands in the file, lines and byte columns\n"
    "counted from 1, the labels only with --labels:\n"
    "  ... N: start S at line L column C [LABEL], end E at line L column C [LABEL]\n"
    "The first r reads the file again to find where its lines start.\n"
    "\n"
    "Ctrl-C during a search stops that scan and keeps the hits found so far;\n"
    "at any other time it ends the program with status 1 (on a terminal after\n"
    "a line break, so that the shell's prompt starts on a fresh line).\n"
    "\n"
    "Line editing and a history at the prompt: rlwrap elsScan TEXT_FILE.\n"
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
int writeToStandardOutput(const char* text) {
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

int showHelp() { return writeToStandardOutput(helpText().c_str()); }

int showVersion() {
  const std::string line = std::string("elsScan ") + versionText + "\n";
  return writeToStandardOutput(line.c_str());
}
