#include "driver/help.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "util/message.h"

#ifndef ELSSCAN_VERSION
#error "ELSSCAN_VERSION must come from the build (the CMake project version)"
#endif

const char* const versionText = ELSSCAN_VERSION;

const char* const helpText =
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
    "Commands:\n"
    "  /STRING      search STRING over skips 1 to the limit and list the hits\n"
    "  /STRING/a    search STRING over every skip that fits in the text\n"
    "  v            list the hits of the last search again\n"
    "  p N          draw hit N in a grid window, its letters in reverse video\n"
    "  s N          add hit N to the selection\n"
    "  s            drop the whole selection\n"
    "  l            list the selected strings\n"
    "  d N          delete selected string N\n"
    "  d            ask about each selected string whether to delete it\n"
    "  P            draw all selected strings in one window\n"
    "  i            show the text length, search string, hit count, window\n"
    "               settings and selection\n"
    "  m N          set the skip limit (default 10000)\n"
    "  w C[,R]      set the window to C columns and R rows (2 to 1024;\n"
    "               default 78 and 20)\n"
    "  f T[,R]      fix the window's top position T and row length R\n"
    "  f            let the window follow the hit again\n"
    "  q, Q         quit; so does the end of input\n"
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

namespace {

// Writes text to standard output; one that cannot be written ends the
// program as every failed write does (status 1, with its reason).
int writeText(const char* text) {
  if (!writeOut(stdout, text, std::strlen(text))) outputFailed(errno);
  flushOutput();
  return 0;
}

}  // namespace

int showHelp() { return writeText(helpText); }

int showVersion() {
  const std::string line = std::string("elsScan ") + versionText + "\n";
  return writeText(line.c_str());
}
