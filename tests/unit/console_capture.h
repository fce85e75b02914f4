// Test helpers for code that writes to both standard streams and reads
// standard input: the two streams are caught on one file, as a console shows
// them, so that their order is checked too.
#ifndef TESTS_UNIT_CONSOLE_CAPTURE_H_
#define TESTS_UNIT_CONSOLE_CAPTURE_H_

#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>

#include "util/message.h"

namespace console_test {

// Runs write with standard output and standard error both going to one file
// and returns what arrived there, in order.
template <typename Write>
std::string merged(const Write& write) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::FILE* file = std::tmpfile();
  const int saved_out = dup(1);
  const int saved_err = dup(2);
  dup2(fileno(file), 1);
  dup2(fileno(file), 2);
  write();
  flushOutput();
  std::fflush(stderr);
  dup2(saved_out, 1);
  dup2(saved_err, 2);
  close(saved_out);
  close(saved_err);
  std::string text;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(file);
  return text;
}

// Runs read with standard input reading input. read must read up to the end
// of input, so that nothing of it stays buffered for a later test.
template <typename Read>
void withInput(const std::string& input, const Read& read) {
  std::FILE* file = std::tmpfile();
  std::fputs(input.c_str(), file);
  std::rewind(file);
  const int saved_in = dup(0);
  dup2(fileno(file), 0);
  std::clearerr(stdin);
  read();
  dup2(saved_in, 0);
  close(saved_in);
  std::clearerr(stdin);
  std::fclose(file);
}

// Shows the reverse-video switches as < and > so that expected windows stay
// readable; a switch in any other form stays as it is and fails the test.
inline std::string readable(std::string text) {
  for (const auto& [sequence, mark] :
       {std::pair<std::string, std::string>{"\x1b[7m", "<"}, {"\x1b[0m", ">"}}) {
    for (std::size_t at; (at = text.find(sequence)) != std::string::npos;) {
      text.replace(at, sequence.size(), mark);
    }
  }
  return text;
}

}  // namespace console_test

#endif  // TESTS_UNIT_CONSOLE_CAPTURE_H_
