// Ctrl-C while the program's writes are blocked on a full pipe: the reader
// has not emptied standard output yet, so the listing or the grid waits in
// the middle of a write when the signal comes. Every byte written before it
// must still reach the reader, in order, and the program must end with
// status 1. The same on pipes that the program finds non-blocking, where a
// full pipe refuses a write instead of blocking it, and a slow reader must
// still get every byte. Also the channel's write itself, cut short by
// signals, and a listing without the pager that runs to its end into a file.

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "unit/child_process.h"
#include "unit/temp_file.h"
#include "util/message.h"

namespace {

constexpr std::chrono::seconds kPatience{60};
// Standard error that stays still this long means the child waits on its
// standard output.
constexpr std::chrono::milliseconds kStill{400};

class BlockedOutput : public testing::Test {
 protected:
  // Starts the program on text, with the long options before the file name.
  void start(const std::string& text, const std::string& input,
             ChildProcess::Output output = ChildProcess::Output::kPipes,
             const std::vector<std::string>& options = {}) {
    std::vector<std::string> argv{ELSSCAN_BINARY};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(writeTempFile(text));
    child_ = std::make_unique<ChildProcess>(argv, ChildProcess::Input::kPipe, output);
    ASSERT_GT(child_->pid(), 0);
    child_->pauseOutput(true);
    ASSERT_TRUE(child_->write(input));
  }

  // Leaves standard output unread until the child waits in a write to the
  // full pipe, then sends Ctrl-C, reads everything and returns the exit
  // status.
  int interruptWhenBlocked() {
    waitUntilBlocked();
    // A write that the first signal cuts short after part of its bytes
    // returns their count and the rest is written again; the second one
    // finds that write blocked before its first byte.
    child_->sendSignal(SIGINT);
    child_->waitFor([] { return false; }, kStill);
    waitUntilBlocked();
    child_->sendSignal(SIGINT);
    child_->pauseOutput(false);
    return child_->wait(kPatience);
  }

  // Waits until standard error has stood still for a while and the child
  // sleeps in a pipe write, as far as the system tells.
  void waitUntilBlocked() {
    const auto deadline = ChildProcess::Clock::now() + kPatience;
    for (;;) {
      const std::size_t before = child_->err().size();
      if (child_->waitFor([&] { return child_->err().size() > before; }, kStill)) continue;
      if (inPipeWrite() || ChildProcess::Clock::now() > deadline) return;
    }
  }

  // Linux names the kernel function a process sleeps in (a non-blocking
  // pipe is waited for in poll); elsewhere, or when the name is hidden, the
  // stillness of standard error has to do.
  bool inPipeWrite() const {
    const std::string path = "/proc/" + std::to_string(child_->pid()) + "/wchan";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return true;
    char name[64] = {};
    const bool read = std::fgets(name, sizeof name, file) != nullptr;
    std::fclose(file);
    const std::string where = read ? name : "";
    return where.empty() || where == "0" || where.find("pipe_write") != std::string::npos ||
           where.find("poll") != std::string::npos;
  }

  std::unique_ptr<ChildProcess> child_;
};

// Where out first differs from the start of expected, with a little of both
// from there; empty when out is a prefix of expected. (Whole outputs are too
// long for a failure message.)
std::string firstDifference(const std::string& out, const std::string& expected) {
  std::size_t at = 0;
  while (at < out.size() && at < expected.size() && out[at] == expected[at]) ++at;
  if (at == out.size()) return "";
  return "at byte " + std::to_string(at) + ": \"" + out.substr(at, 40) + "\" instead of \"" +
         expected.substr(at, 40) + "\"";
}

// count repetitions of "ABC": "AB" stands at skip 1 from every position
// 3k - 2, one hit line for each k.
std::string abcText(int count) {
  std::string text;
  for (int k = 0; k < count; ++k) text += "ABC";
  return text;
}

// The first count hit lines of abcText, as the listing writes them.
std::string abcLines(int count) {
  std::string lines;
  char line[80];
  for (int k = 1; k <= count; ++k) {
    std::snprintf(line, sizeof line, "(%d): skip=1, string=(%d,%d,%d)\n", k, 3 * k - 2, 3 * k - 2,
                  3 * k - 1);
    lines += line;
  }
  return lines;
}

// 6000 lines, far more than a pipe holds, paged by 24; with a blank reply
// for every page, and q.
constexpr int kListingHits = 6000;
std::string listingText() { return abcText(kListingHits); }
const std::string kListingInput = "m 1\n/AB\n" + std::string(300, '\n') + "q\n";

// Every hit line of the listing of listingText.
std::string listingLines() { return abcLines(kListingHits); }

// The child's output is the start of the listing, cut between two lines.
void expectListingCutBetweenLines(const ChildProcess& child) {
  const std::string& out = child.out();
  EXPECT_EQ(firstDifference(out, listingLines()), "");
  EXPECT_TRUE(out.empty() || out.back() == '\n') << "the last line is cut";
  EXPECT_EQ(ChildProcess::occurrences(child.err(), "cannot write"), 0) << child.err();
  // Every line of the pages behind the prompts written before the signal
  // reached the reader, many pages of them.
  const int prompts = ChildProcess::occurrences(child.err(), "continued ... ");
  EXPECT_GT(prompts, 10);
  EXPECT_GE(ChildProcess::occurrences(out, "\n"), 24 * prompts);
}

TEST_F(BlockedOutput, CtrlCInTheMiddleOfAListingKeepsEveryLine) {
  for (const auto output :
       {ChildProcess::Output::kPipes, ChildProcess::Output::kNonBlockingPipes}) {
    SCOPED_TRACE(output == ChildProcess::Output::kPipes ? "blocking" : "non-blocking");
    start(listingText(), kListingInput, output);
    EXPECT_EQ(interruptWhenBlocked(), 1);
    expectListingCutBetweenLines(*child_);
  }
}

TEST_F(BlockedOutput, SlowReaderOfNonBlockingPipesGetsEveryByte) {
  // An invalid command far longer than a pipe holds fills standard error
  // as the listing fills standard output.
  const std::string command(200'000, 'z');
  start(listingText(), command + "\n" + kListingInput, ChildProcess::Output::kNonBlockingPipes);
  child_->readSlowly(4096);
  child_->pauseOutput(false);
  EXPECT_EQ(child_->wait(kPatience), 0);

  EXPECT_EQ(firstDifference(child_->out(), listingLines()), "");
  EXPECT_EQ(child_->out().size(), listingLines().size());
  const std::string& err = child_->err();
  EXPECT_EQ(ChildProcess::occurrences(err, "... " + command + ": invalid command\n"), 1);
  EXPECT_EQ(ChildProcess::occurrences(err, "cannot write"), 0)
      << err.substr(err.size() > 200 ? err.size() - 200 : 0);
  EXPECT_EQ(ChildProcess::occurrences(err, "continued ... "), kListingHits / 24);
}

TEST_F(BlockedOutput, CtrlCInTheMiddleOfAGridKeepsEveryRow) {
  // "AB" and then lower-case letters only, so that the one hit is at 1. The
  // fixed area shows rows of 1024 bytes from position 1.
  std::string text = "AB";
  for (int p = 3; p <= 1024 * 1024; ++p)
    text.push_back(static_cast<char>('a' + (p * 7 + p / 1024) % 26));
  start(text, "m 1\n/AB\nw 1024,1024\nf 1,1024\np 1\nq\n");
  EXPECT_EQ(interruptWhenBlocked(), 1);

  std::string expected = "(1): skip=1, string=(1,1,2)\n";
  for (std::size_t row = 0; row < 1024; ++row) {
    expected += text.substr(row * 1024, 1024) + "\n";
  }
  const std::string& out = child_->out();
  EXPECT_GT(out.size(), 65536U);
  EXPECT_LT(out.size(), expected.size()) << "the grid ran to its end before the signal";
  EXPECT_EQ(firstDifference(out, expected), "");
  EXPECT_EQ(ChildProcess::occurrences(child_->err(), "cannot write"), 0) << child_->err();
  // The program ends between rows.
  EXPECT_EQ(out.back(), '\n');
}

// Also with standard error on a terminal, where the program ends the line
// it leaves there once.
TEST_F(BlockedOutput, CtrlCInTheMiddleOfAListingWithoutThePagerKeepsEveryLine) {
  const std::string all = abcLines(40000);
  for (const auto error : {ChildProcess::Output::kPipes, ChildProcess::Output::kErrorTerminal}) {
    const bool terminal = error == ChildProcess::Output::kErrorTerminal;
    // 40000 lines at one go; the q that would stop a page stays unread.
    start(abcText(40000), "m 1\n/AB\nq\n", error, {"--no-pager"});
    EXPECT_EQ(interruptWhenBlocked(), 1);

    const std::string& out = child_->out();
    EXPECT_GT(out.size(), 65536U) << terminal;
    EXPECT_LT(out.size(), all.size()) << "the listing ran to its end before the signal";
    EXPECT_EQ(firstDifference(out, all), "") << terminal;
    EXPECT_EQ(out.back(), '\n') << "the last line is cut";
    EXPECT_EQ(child_->err(), std::string("command: ... set the limit of skip number to 1\n"
                                         "command: searching forward \n") +
                                 (terminal ? "\n" : ""));
  }
}

// The same listing into a file runs to its end, and the script's next
// command after it is the next command.
TEST(NoPager, ListingIntoAFileHoldsEveryLine) {
  const std::string text = writeTempFile(abcText(40000));
  const std::string hits = text + ".hits";
  removeWhenTestsEnd(hits);
  ChildProcess child(
      {"/bin/sh", "-c", "exec \"$0\" --no-pager \"$1\" > \"$2\"", ELSSCAN_BINARY, text, hits});
  ASSERT_GT(child.pid(), 0);
  ASSERT_TRUE(child.write("m 1\n/AB\nQ\nm 2\n"));
  child.closeInput();
  EXPECT_EQ(child.wait(kPatience), 0);
  EXPECT_EQ(child.err(),
            "command: ... set the limit of skip number to 1\n"
            "command: searching forward \nsearching backward \ncommand: ");
  std::string out;
  std::FILE* file = std::fopen(hits.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) out.append(buffer, n);
  std::fclose(file);
  EXPECT_EQ(out.size(), abcLines(40000).size());
  EXPECT_EQ(firstDifference(out, abcLines(40000)), "");
}

// Signals whose handler does not ask for restarted calls come every 0.1 ms
// while the reader drains the pipe slowly: most come while a write waits on
// the full pipe before its first byte, and it fails with EINTR.
TEST(WriteOut, CarriesOnAfterSignalsCutItsWritesShort) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::FILE* stream = fdopen(ends[1], "w");
  ASSERT_NE(stream, nullptr);
  struct sigaction action {};
  struct sigaction saved {};
  action.sa_handler = [](int) {};
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &action, &saved), 0);

  std::string message(1 << 19, ' ');
  for (std::size_t k = 0; k < message.size(); ++k) message[k] = static_cast<char>('a' + k % 23);
  std::string received;
  std::thread reader([&] {
    char buffer[16384];
    for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) {
      received.append(buffer, static_cast<std::size_t>(n));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  std::atomic<bool> writing = true;
  const pthread_t writer = pthread_self();
  std::thread signaller([&] {
    while (writing) {
      pthread_kill(writer, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  const bool written = writeOut(stream, message.data(), message.size());
  writing = false;
  signaller.join();
  std::fclose(stream);
  reader.join();
  sigaction(SIGUSR1, &saved, nullptr);
  close(ends[0]);
  EXPECT_TRUE(written);
  EXPECT_EQ(received.size(), message.size());
  EXPECT_EQ(firstDifference(received, message), "");
}

}  // namespace
