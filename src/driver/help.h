// The English help and the version line, printed by --help and --version when
// either is the only argument.
#ifndef SRC_DRIVER_HELP_H_
#define SRC_DRIVER_HELP_H_

#include <string>

// The help text: the command lines, the options, the commands (one line or
// more per form in the command table, driver/commands.h), the hit line,
// Ctrl-C and the exit statuses; the same facts as the manual's synopsis and
// command list. Ends with a newline.
const std::string& helpText();

// The version, from the build ("1.24.0").
extern const char* const versionText;

// Writes the help text to standard output. Returns the exit status, 0; when
// standard output cannot be written, ends the program with the message
// "cannot write the output: ..." and status 1.
int showHelp();

// Writes "elsScan <version>\n" to standard output. Returns the exit status as
// showHelp does.
int showVersion();

#endif  // SRC_DRIVER_HELP_H_
