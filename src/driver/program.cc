#include "driver/program.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/main_info.h"
#include "driver/commands.h"
#include "driver/help.h"
#include "text/line_map.h"
#include "text/loader.h"
#include "util/console.h"
#include "util/console_platform.h"
#include "util/interrupt.h"
#include "util/message.h"

namespace {

// The usage text, in Shift-JIS. Lines 1 and 2: the tool turns the whole text
// file into one line and searches it for the target string at equal
// intervals; line 7: -c removes spaces; line 8: the text file is written in
// ASCII or Shift-JIS.
// The hex escapes stay split where a letter follows them. The text stays
// byte for byte as it was first written, with the version it names (1.22),
// which is not the release's: --version tells that.
// clang-format off
const char* const Usage[] = {
    "\x83" "e\x83L\x83X\x83g\x83t\x83@\x83" "C\x83\x8B\x82\xCC\x93\xE0\x97"
    "e\x82\xF0\x91S\x82\xC4\x82P\x8Ds\x82\xC9\x95\xCF\x8A\xB7\x82\xB5\x82\xC4\x81"
    "A\x82\xBB\x82\xCC\x92\x86\x82\xA9\x82\xE7\x8C\x9F\x8D\xF5\x91\xCE\x8F\xDB\x82"
    "\xCC\x95\xB6\x8E\x9A\x97\xF1\x82\xF0\x93\x99\x8A\xD4\x8Au",
    "\x82\xC5\x8C\x9F\x8D\xF5\x82\xB5\x82\xDC\x82\xB7\x81" "B",
    " ",
    "Usage: elsScan [-c] <text_file>",
    " ",
    "Parameter:",
    "   -c           \x83X\x83y\x81[\x83X\x82\xF0\x8F\x9C\x8B\x8E\x82\xB5\x82\xDC"
    "\x82\xB7\x81" "B",
    "   <text_file>  ASCII\x83R\x81[\x83h\x82\xDC\x82\xBD\x82\xCDS-JIS\x83R\x81[\x83h"
    "\x82\xC5\x8F\x91\x82\xA9\x82\xEA\x82\xBD\x83" "e\x83L\x83X\x83g\x83t\x83@\x83"
    "C\x83\x8B\x96\xBC",
    " ",
    "Version: 1.22",
    nullptr,
};
// clang-format on

// The long options that stand before the file name, and the flag each sets.
struct LongOption {
  const char* name;
  int* flag;
};
constexpr LongOption kLongOptions[] = {
    {"--no-pager", &noPager},
    {"--letters", &lettersOnly},
    {"--labels", &lineLabels},
};

// Sets the flag of the option arg names; false when arg is no option.
bool takeOption(const char* arg) {
  if (std::strcmp(arg, "-c") == 0) {
    removeSpaces = 1;
    return true;
  }
  for (const LongOption& option : kLongOptions) {
    if (std::strcmp(arg, option.name) == 0) {
      *option.flag = 1;
      return true;
    }
  }
  return false;
}

bool isLongOption(const char* arg) {
  for (const LongOption& option : kLongOptions) {
    if (std::strcmp(arg, option.name) == 0) return true;
  }
  return false;
}

// Returns the file name the arguments give, setting the flags of the options
// before it, or ends the program with the usage line. The last argument is
// the file name whatever it is. Without a long option the command line is
// the designed one: at most "-c" before the name.
const char* fileNameFrom(int argc, char** argv) {
  bool extended = false;
  for (int i = 1; i < argc - 1; ++i) extended = extended || isLongOption(argv[i]);
  if (!extended && argc > 3) showUsage(1);
  for (int i = 1; i < argc - 1; ++i) {
    if (!takeOption(argv[i])) showUsage(1);
  }
  // --letters keeps no byte of value 0x20 or below.
  if (lettersOnly != 0) removeSpaces = 1;
  return argv[argc - 1];
}

void loadOrExit(const char* name) {
  mainInfo.text = loadText(name);
  if (mainInfo.text == nullptr) std::exit(1);
  setTextFile(name);
  mainInfo.textLen = static_cast<int>(std::strlen(mainInfo.text));
  mainInfo.kindMap = makeKindMap(mainInfo.text);
  if (mainInfo.textLen < 1) {
    errmsg("%s: invalid text data\n", name);
    std::exit(1);
  }
}

}  // namespace

void showUsage(int mode) {
  if (mode == 1) {
    errmsg("%s\n", Usage[3]);
    std::exit(1);
  }
  for (const char* const* line = Usage; *line != nullptr; ++line) {
    outputf("%s\n", *line);
  }
  flushOutput();
  std::exit(0);
}

int runProgram(int argc, char** argv) {
  setUpConsole();
  if (argc < 2) showUsage(1);
  if (std::strcmp(argv[1], "-usage") == 0) showUsage(2);
  // --help and --version count only as the sole argument; anywhere else they
  // are what they always were (a file of that name is reached as ./--help).
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return showHelp();
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return showVersion();
  installInterruptHandler();
  resetMainInfo();
  // The lists live as long as the program: neither they nor the
  // records hanging on them are freed, not even at exit.
  static SessionLists& lists = *new SessionLists{};
  loadOrExit(fileNameFrom(argc, argv));

  std::string line;
  for (;;) {
    errmsg("command: ");
    if (!readLine(&line)) {
      // End of input quits as q does, on a fresh line.
      errmsg("\n");
      break;
    }
    if (runCommand(line, &lists) == CommandResult::kQuit) break;
  }
  // A full disk must not pass for success.
  flushOutput();
  return 0;
}
