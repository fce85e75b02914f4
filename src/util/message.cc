#include "util/message.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "util/console_platform.h"
#include "util/process_exit.h"

std::FILE* errfp = nullptr;
int errmsg_output_flg = 0;

namespace {

// The expansion buffer. It grows with the message, so that an echoed input
// line of any length is written whole.
std::string& expansion() {
  static std::string buffer;
  return buffer;
}

void appendConversion(std::string* out, char conversion, std::va_list* args) {
  char number[64];
  switch (conversion) {
    case 'c':
      out->push_back(static_cast<char>(va_arg(*args, int)));
      return;
    case 'd':
      std::snprintf(number, sizeof number, "%d", va_arg(*args, int));
      break;
    case 'x':
      std::snprintf(number, sizeof number, "%x", va_arg(*args, unsigned int));
      break;
    case 'f': {
      // "%f" of a huge double needs more than any fixed buffer.
      const double value = va_arg(*args, double);
      const int length = std::snprintf(nullptr, 0, "%f", value);
      const std::size_t at = out->size();
      out->resize(at + static_cast<std::size_t>(length) + 1);
      std::snprintf(out->data() + at, static_cast<std::size_t>(length) + 1, "%f", value);
      out->resize(at + static_cast<std::size_t>(length));
      return;
    }
    case 's': {
      const char* s = va_arg(*args, const char*);
      out->append(s);
      return;
    }
    default:
      out->push_back('%');
      out->push_back(conversion);
      return;
  }
  out->append(number);
}

// Standard output's buffer: pending bytes at its start. As large as a pipe
// holds on Linux, so that a long listing takes few writes.
char pendingOutput[1 << 16];
std::size_t pendingLength = 0;

void writeMessage(const char* text) {
  // Whatever is waiting on standard output belongs before this message.
  flushOutput();
  std::FILE* stream = messageStream();
  if (!writeOut(stream, text, std::strlen(text))) outputFailed(errno);
  // Standard error is not unbuffered on every system.
  if (stream == stderr && std::fflush(stderr) != 0) outputFailed(errno);
  errmsg_output_flg = 1;
}

}  // namespace

std::FILE* messageStream() { return errfp == kErrfpStdout ? stdout : stderr; }

bool writeOut(std::FILE* stream, const char* bytes, std::size_t n) {
  return writeStream(stream, bytes, n);
}

bool flushPendingOutput() {
  const std::size_t n = pendingLength;
  pendingLength = 0;
  return n == 0 || writeOut(stdout, pendingOutput, n);
}

void outputBytes(const char* bytes, std::size_t n) {
  if (pendingLength + n > sizeof pendingOutput && !flushPendingOutput()) outputFailed(errno);
  if (n >= sizeof pendingOutput) {
    if (!writeOut(stdout, bytes, n)) outputFailed(errno);
    return;
  }
  std::memcpy(pendingOutput + pendingLength, bytes, n);
  pendingLength += n;
}

void outputByte(char byte) {
  if (pendingLength == sizeof pendingOutput && !flushPendingOutput()) outputFailed(errno);
  pendingOutput[pendingLength++] = byte;
}

void outputf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const std::size_t room = sizeof pendingOutput - pendingLength;
  const int length = std::vsnprintf(pendingOutput + pendingLength, room, format, args);
  va_end(args);
  const auto n = static_cast<std::size_t>(length);
  if (length >= 0 && n < room) {
    pendingLength += n;
  } else if (length >= 0 && n < sizeof pendingOutput) {
    // Too long for what is left: the buffer goes out first.
    if (!flushPendingOutput()) outputFailed(errno);
    std::vsnprintf(pendingOutput, sizeof pendingOutput, format, again);
    pendingLength = n;
  } else if (length >= 0) {
    // Longer than the whole buffer: the expansion is written on its own.
    std::string text(n + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    outputBytes(text.data(), n);
  }
  va_end(again);
}

void flushOutput() {
  if (!flushPendingOutput()) outputFailed(errno);
  // A write that failed inside printf or fputc left its reason in errno,
  // unless something failed since.
  const int earlier = errno;
  if (std::fflush(stdout) != 0) outputFailed(errno);
  if (std::ferror(stdout)) outputFailed(earlier != 0 ? earlier : EIO);
}

void outputFailed(int error) {
  static std::atomic<int> reported = 0;
  if (reported.exchange(1) == 0) {
    char message[256];
    const int length = std::snprintf(message, sizeof message, "cannot write the output: %s\n",
                                     std::strerror(error));
    if (length > 0) {
      writeOut(stderr, message, std::min(static_cast<std::size_t>(length), sizeof message - 1));
    }
  }
  endProcess(1);
}

const char* Strchr(const char* s, int c) {
  const auto wanted = static_cast<unsigned char>(c);
  for (const char* p = s; *p != '\0'; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    if (byte == wanted) return p;
    if (isLeadByte(byte) && p[1] != '\0') ++p;
  }
  return nullptr;
}

const char* err_edit(const char* format, std::va_list args) {
  std::string& out = expansion();
  out.clear();
  std::va_list next;
  va_copy(next, args);
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p == '\\' && p[1] != '\0') {
      out.push_back(*++p);
    } else if (*p == '%' && p[1] != '\0') {
      appendConversion(&out, *++p, &next);
    } else {
      out.push_back(*p);
    }
  }
  va_end(next);
  return out.c_str();
}

// errmsg with an argument list already started.
static void verrmsg(const char* format, std::va_list args) {
  if (Strchr(format, '%') == nullptr) {
    writeMessage(format);
  } else {
    writeMessage(err_edit(format, args));
  }
}

void errmsg(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  verrmsg(format, args);
  va_end(args);
}

void errmsgLine(const char* line, ...) {
  std::va_list args;
  va_start(args, line);
  verrmsg(line, args);
  va_end(args);
}
