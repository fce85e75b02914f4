// The message channel: every prompt, message, progress mark and video escape
// sequence of the program goes out through errmsg, which writes to standard
// error unless errfp selects standard output.
#ifndef SRC_UTIL_MESSAGE_H_
#define SRC_UTIL_MESSAGE_H_

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "util/compiler.h"

// Channel selector. The all-bits-set pointer (kErrfpStdout) selects standard
// output; any other value, null included, selects standard error. Null at
// start; nothing in the program changes it.
extern std::FILE* errfp;
inline std::FILE* const kErrfpStdout =
    reinterpret_cast<std::FILE*>(~static_cast<std::uintptr_t>(0));

// Set to 1 by every errmsg call. Nothing reads it.
extern int errmsg_output_flg;

// Writes one message. Formats holding no '%' (as found by Strchr) are written
// unchanged; others are expanded by err_edit. The expanded text is written
// up to its first NUL byte. Adds no prefix and no newline, but flushes
// standard output first so that both streams stay in the order written. A
// failed write ends the program (outputFailed).
void errmsg(const char* format, ...) ELSSCAN_PRINTF_FORMAT(1, 2);

// The stream that errmsg writes to: standard output when errfp selects it,
// else standard error.
std::FILE* messageStream();

// Writes n bytes to stream, carrying on where a signal interrupted the write,
// so that nothing written is dropped. Returns false when the write failed for
// good, with errno telling why. Takes no memory from the heap. This is the
// one place that writes the program's messages.
bool writeOut(std::FILE* stream, const char* bytes, std::size_t n);

// Standard output (hit lines, grid rows, the usage text) is gathered in the
// program's own buffer and written by writeOut when the buffer is full or
// flushOutput runs: the C library's buffer drops its bytes when a
// non-blocking descriptor refuses them. Only the main thread writes here.
// The bytes stand on standard output after everything written before; a
// write that fails for good ends the program through outputFailed.
void outputBytes(const char* bytes, std::size_t n);
void outputByte(char byte);
// Formats as std::printf does, into the same buffer.
void outputf(const char* format, ...) ELSSCAN_PRINTF_FORMAT(1, 2);

// Writes what standard output's buffer holds. Returns false when a write
// failed for good, with errno telling why; takes no memory from the heap.
bool flushPendingOutput();

// Writes what standard output's buffer holds and flushes the C library's
// stream; when that fails, or an earlier write to it did, ends the program
// through outputFailed.
void flushOutput();

// Output that cannot be written: writes "cannot write the output: <reason
// for error>\n" to standard error once (if it can still be written) and ends
// the process with status 1; whatever came after would be lost too.
[[noreturn]] void outputFailed(int error);

// errmsg for a line that was formatted beforehand and is handed over as the
// format itself, which the compiler cannot check; pass no arguments.
void errmsgLine(const char* line, ...);

// Expands format with the arguments in args: %c %d %x %f %s convert as the
// standard formatter does (without flags, widths or precisions); '%' before
// any other byte is copied together with that byte and takes no argument; a
// lone '%' at the end is copied; a backslash before any byte drops itself
// and copies that byte unchanged. Returns the expansion, valid until the
// next call. Not reentrant.
const char* err_edit(const char* format, std::va_list args);

// Returns the first byte of s equal to the low 8 bits of c, or null. Trail
// bytes of Shift-JIS double-byte characters are stepped over and never
// matched; searching for NUL returns null.
const char* Strchr(const char* s, int c);

// True for a Shift-JIS lead byte: 0x80 to 0x9F or 0xE0 to 0xFC.
constexpr bool isLeadByte(unsigned char b) {
  return (b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

#endif  // SRC_UTIL_MESSAGE_H_
