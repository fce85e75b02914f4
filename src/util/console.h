// Reading the console: whole input lines of any length, numbers as the
// commands read them, and the safe way out after a Ctrl-C that came while no
// scan was running.
#ifndef SRC_UTIL_CONSOLE_H_
#define SRC_UTIL_CONSOLE_H_

#include <atomic>
#include <string>

// Set by the Ctrl-C handler when the program is to end at the next poll.
extern std::atomic<int> exitPending;
// 1 while readLine waits for input; standard output is flushed then, so the
// handler may end the program at once.
extern std::atomic<int> waitingForInput;

// Ends the program with status 1 (flushing standard output) if a Ctrl-C asked
// for it. Long loops that run outside a scan call it now and then.
void pollInterrupt();

// Reads one line from standard input into *line, without its LF and without
// a CR right before that LF. A last line without LF counts; the line is cut
// at its first NUL byte. Returns false, with *line empty, at end of input.
bool readLine(std::string* line);

// Reads a number as atoi does (leading space, tab, LF, VT, FF or CR; an
// optional sign; decimal digits; none gives 0), saturating at the limits of
// int instead of overflowing.
int readNumber(const char* s);

// Skips the space characters (only 0x20) at the start of s.
const char* skipBlanks(const char* s);

#endif  // SRC_UTIL_CONSOLE_H_
