// Ctrl-C as the user gives it: a real SIGINT sent to the running program.
// During a scan it stops only that scan; at any other moment it ends the
// program with status 1, keeping what standard output already holds.

#include "util/interrupt.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "driver/program.h"
#include "unit/child_process.h"
#include "unit/temp_file.h"

namespace {

// Only a failing test waits this long.
constexpr std::chrono::seconds kPatience{60};

// "aaab" stands once, at skip 1 from position 1, and never backwards: after
// "aa" the text alternates "ab", so that every b stands at an odd index
// (from 0) and every a at an even one, but for the second a, which only that
// hit can use. Both letters are common, so that the scan has work at every
// skip whatever way it goes about it: with all skips it takes a while, long
// enough to be interrupted after its first progress mark, and short enough
// to run in full in a test.
#if defined(NDEBUG)
constexpr std::size_t kLongTextPairs = 400000;
#else
constexpr std::size_t kLongTextPairs = 60000;
#endif

std::string longText() {
  std::string text = "aa";
  for (std::size_t k = 0; k < kLongTextPairs; ++k) text += "ab";
  return text;
}

// The progress marks written after the last header on standard error.
std::string marksAfter(const std::string& err, std::string_view header) {
  const std::size_t at = err.rfind(header);
  if (at == std::string::npos) return "";
  const std::size_t from = at + header.size();
  return err.substr(from, err.find_first_not_of("*.", from) - from);
}

class Interrupt : public testing::Test {
 protected:
  void start(const std::string& text, ChildProcess::Output error = ChildProcess::Output::kPipes) {
    child_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{ELSSCAN_BINARY, writeTempFile(text)}, ChildProcess::Input::kPipe,
        error);
    ASSERT_GT(child_->pid(), 0);
  }

  // Waits for the first progress mark after header, then sends SIGINT.
  void interruptAfterFirstMark(std::string_view header) {
    ASSERT_TRUE(
        child_->waitFor([&] { return !marksAfter(child_->err(), header).empty(); }, kPatience))
        << child_->err();
    ASSERT_TRUE(child_->sendSignal(SIGINT));
  }

  std::unique_ptr<ChildProcess> child_;
};

TEST_F(Interrupt, AtTheCommandPromptEndsWithStatusOneKeepingTheOutput) {
  start("ABCAB");
  child_->write("/AB\n");
  ASSERT_TRUE(child_->waitForError("command: ", 2, kPatience)) << child_->err();
  child_->sendSignal(SIGINT);
  EXPECT_EQ(child_->wait(kPatience), 1);
  EXPECT_EQ(child_->out(),
            "(1): skip=1, string=(1,1,2)\n"
            "(2): skip=1, string=(4,4,5)\n"
            "(3): skip=4, string=(1,3,5)\n"
            "(4): skip=-2, string=(2,3,4)\n");
  EXPECT_EQ(child_->err(), "command: searching forward \nsearching backward \ncommand: ");

  // Both streams on one pipe: every byte, in the order written.
  start("ABCAB", ChildProcess::Output::kOnePipe);
  child_->write("/AB\n");
  ASSERT_TRUE(child_->waitForOutput("command: ", 2, kPatience)) << child_->out();
  child_->sendSignal(SIGINT);
  EXPECT_EQ(child_->wait(kPatience), 1);
  EXPECT_EQ(child_->out(),
            "command: searching forward \n"
            "(1): skip=1, string=(1,1,2)\n"
            "(2): skip=1, string=(4,4,5)\n"
            "(3): skip=4, string=(1,3,5)\n"
            "searching backward \n"
            "(4): skip=-2, string=(2,3,4)\n"
            "command: ");
  EXPECT_EQ(child_->err(), "");
}

// Standard error on a terminal: the line that Ctrl-C cut short is ended,
// so that the shell's prompt starts on a fresh line. (On a pipe the bytes
// stay as they were, as the test above holds.)
TEST_F(Interrupt, AtTheCommandPromptOnATerminalEndsTheLine) {
  start("ABCAB", ChildProcess::Output::kErrorTerminal);
  child_->write("/AB\n");
  ASSERT_TRUE(child_->waitForError("command: ", 2, kPatience)) << child_->err();
  // Time to reach the read, where the handler itself ends the program.
  child_->waitFor([] { return false; }, std::chrono::milliseconds(200));
  child_->sendSignal(SIGINT);
  EXPECT_EQ(child_->wait(kPatience), 1);
  EXPECT_EQ(ChildProcess::occurrences(child_->out(), "\n"), 4);
  EXPECT_EQ(child_->err(), "command: searching forward \nsearching backward \ncommand: \n");
}

TEST_F(Interrupt, AtAPagingPromptEndsWithStatusOneKeepingThePage) {
  std::string text;
  for (int i = 0; i < 30; ++i) text += "ABC";
  start(text);
  child_->write("m 1\n/AB\n");
  ASSERT_TRUE(child_->waitForError("continued ... ", 1, kPatience)) << child_->err();
  child_->sendSignal(SIGINT);
  EXPECT_EQ(child_->wait(kPatience), 1);
  std::string page;
  char line[64];
  for (int k = 1; k <= 24; ++k) {
    std::snprintf(line, sizeof line, "(%d): skip=1, string=(%d,%d,%d)\n", k, 3 * k - 2, 3 * k - 2,
                  3 * k - 1);
    page += line;
  }
  EXPECT_EQ(child_->out(), page);
}

TEST_F(Interrupt, DuringTheForwardScanListsItsHitsAndRunsTheBackwardScanInFull) {
  start(longText());
  child_->write("/aaab/a\n");
  interruptAfterFirstMark("searching forward ");
  ASSERT_TRUE(child_->waitForError("command: ", 2, kPatience)) << child_->err();

  EXPECT_EQ(child_->out(), "(1): skip=1, string=(1,2,4)\n");
  // The forward row stops early; the backward scan writes all 30 marks.
  EXPECT_TRUE(std::regex_match(child_->err(), std::regex("command: searching forward \\*\\.{0,28}\n"
                                                         "searching backward \\.{30}\ncommand: ")))
      << child_->err();

  child_->write("v\nq\n");
  EXPECT_EQ(child_->wait(kPatience), 0);
  EXPECT_EQ(child_->out(), "(1): skip=1, string=(1,2,4)\n(1): skip=1, string=(1,2,4)\n");
}

// Runs the program in this process on the text file with the commands as
// its input.
void runSession(std::string text, const std::string& commands) {
  const std::string input = text + ".in";
  std::FILE* file = std::fopen(input.c_str(), "wb");
  std::fputs(commands.c_str(), file);
  std::fclose(file);
  if (std::freopen(input.c_str(), "rb", stdin) == nullptr) std::exit(2);
  std::remove(input.c_str());  // the open input keeps its bytes; the child ends without clean-up
  char program[] = "elsScan";
  char* argv[] = {program, text.data(), nullptr};
  std::exit(runProgram(2, argv));
}

// The moment between the search command and the scan: on a text of 2 GB it
// lasts long enough to be hit (measuring the text, emptying the hit list).
// A Ctrl-C there ends the program at once, as at the prompt: no progress
// mark, no listing.
TEST(InterruptBeforeTheScan, EndsTheProgramAtOnceWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string text = writeTempFile(std::string(200, 'A'));
  EXPECT_EXIT((
                  scanBeginHook = [] { std::raise(SIGINT); }, runSession(text, "/AA/a\nq\n")),
              testing::ExitedWithCode(1), "^command: searching forward $");
}

TEST(InterruptBeforeTheScan, OnATerminalEndsTheLine) {
  const std::string text = writeTempFile(std::string(200, 'A'));
  ChildProcess child(
      [&text] {
        scanBeginHook = [] { std::raise(SIGINT); };
        runSession(text, "/AA/a\nq\n");
        return 0;
      },
      ChildProcess::Output::kErrorTerminal);
  ASSERT_GT(child.pid(), 0);
  EXPECT_EQ(child.wait(kPatience), 1);
  EXPECT_EQ(child.err(), "command: searching forward \n");
}

TEST_F(Interrupt, TwiceStopsBothScansAndTheProgramGoesOn) {
  start(longText());
  child_->write("/aaab/a\n");
  interruptAfterFirstMark("searching forward ");
  interruptAfterFirstMark("searching backward ");
  ASSERT_TRUE(child_->waitForError("command: ", 2, kPatience)) << child_->err();

  EXPECT_EQ(child_->out(), "(1): skip=1, string=(1,2,4)\n");
  EXPECT_TRUE(
      std::regex_match(child_->err(), std::regex("command: searching forward \\*\\.{0,28}\n"
                                                 "searching backward \\.{1,29}\ncommand: ")))
      << child_->err();

  child_->write("q\n");
  EXPECT_EQ(child_->wait(kPatience), 0);
}

}  // namespace
