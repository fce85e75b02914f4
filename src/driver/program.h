// Start-up and the interactive command loop.
#ifndef SRC_DRIVER_PROGRAM_H_
#define SRC_DRIVER_PROGRAM_H_

// Checks the arguments, loads the text and runs the command loop. Returns the
// exit status after q, Q or end of input (0), and after --help or --version
// alone (0, or 1 when standard output cannot be written); every failure ends
// the program with status 1, and -usage with status 0.
int runProgram(int argc, char** argv);

// Mode 1: writes the usage line through errmsg and ends with status 1. Any
// other mode: writes the full usage text to standard output and ends with 0.
[[noreturn]] void showUsage(int mode);

#endif  // SRC_DRIVER_PROGRAM_H_
