// Reading the console: whole input lines of any length, and numbers as the
// commands read them.
#ifndef SRC_UTIL_CONSOLE_H_
#define SRC_UTIL_CONSOLE_H_

#include <string>

// Reads one line from standard input into *line, without its LF and without
// a CR right before that LF. A last line without LF counts; the line is cut
// at its first NUL byte. Returns false, with *line empty, at end of input.
// Flushes standard output first; a Ctrl-C while it waits ends the program.
// A read that fails (not the end of input) writes "cannot read the commands:
// <reason>" and ends the program with status 1.
bool readLine(std::string* line);

// Reads a number as atoi does (leading space, tab, LF, VT, FF or CR; an
// optional sign; decimal digits; none gives 0), saturating at the limits of
// int instead of overflowing.
int readNumber(const char* s);

// Skips the space characters (only 0x20) at the start of s.
const char* skipBlanks(const char* s);

#endif  // SRC_UTIL_CONSOLE_H_
