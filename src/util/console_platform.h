// The console as each system gives it: setting the standard streams up for
// the run, giving a console its own mode back, and reading standard input
// byte by byte so that a Ctrl-C is never taken for the end of input.
#ifndef SRC_UTIL_CONSOLE_PLATFORM_H_
#define SRC_UTIL_CONSOLE_PLATFORM_H_

#include <cstddef>
#include <cstdio>

// Sets the standard streams up, once, before anything is written, and finds
// out whether standard error is a terminal (for endTerminalLine). Standard
// error is unbuffered, so that every message stands after everything written
// before it on either stream when both go to one file or pipe. On Windows
// standard input is switched to binary mode (the program splits its lines
// itself), standard output and standard error stay in text mode (each "\n"
// goes out as CR LF), and a console that shows either of them gets
// virtual-terminal processing for the reverse-video sequences; restoreConsole
// gives it its own mode back, and runs by itself at exit. The console's code
// page is left alone. On Windows, when the program's console is its own (it
// was started by a double click) and standard input is that console, every
// end of the program through exit writes "Press Enter to close this
// window.\n" to standard error and waits for a line before the window
// closes; never when standard input is a file or a pipe, nor after Ctrl-C.
void setUpConsole();

// Gives every console that setUpConsole changed its own mode back. Safe to
// call more than once, and from the Ctrl-C handler just before it ends the
// program.
void restoreConsole();

// Writes one line break to standard error if setUpConsole found it a
// terminal (a console on Windows), and nothing otherwise: a Ctrl-C that ends
// the program then leaves the shell's prompt on a fresh line, and a file or
// pipe gets no byte more. Async-signal-safe, for the Ctrl-C handler.
void endTerminalLine();

// What readInputByte returns when a Ctrl-C cut the wait for input short
// before a byte came: the caller checks for a pending Ctrl-C and reads again.
inline constexpr int kInputInterrupted = -2;

// What readInputByte returns when standard input cannot be read (a
// directory, a closed descriptor, an I/O error), with errno telling why.
inline constexpr int kInputFailed = -3;

// Reads the next byte of standard input: the byte (0 to 255), EOF at the end
// of input, kInputFailed or kInputInterrupted. On Unix-like systems, standard
// input that has no byte yet but would block (left non-blocking by another
// program) is waited for, and the wait comes back as kInputInterrupted. On
// Windows a console ends a read that Ctrl-C cuts short as if at the end of
// input, and the handler runs on a thread of its own: a console read that
// gives no byte is kInputInterrupted when ctrl_c_pending() says so within a
// fifth of a second.
int readInputByte(bool (*ctrl_c_pending)());

// Writes n bytes to stream after what it holds already, carrying on after a
// write that a signal cut short, before its first byte or after some. On
// Unix-like systems the bytes bypass the stream's buffer, which the C library
// may drop when a signal cuts its write short, or when a non-blocking
// descriptor refuses it; such a descriptor is waited for until it takes the
// bytes. Returns false when a write failed for good, with errno telling why.
// Takes no memory from the heap.
bool writeStream(std::FILE* stream, const char* bytes, std::size_t n);

#endif  // SRC_UTIL_CONSOLE_PLATFORM_H_
