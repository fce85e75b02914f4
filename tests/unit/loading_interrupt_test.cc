// Ctrl-C while the text loads, as the user gives it: a real SIGINT sent to
// the program, which the loader's poll hook holds at a known chunk of the
// text or part of the kind map. The program must end with status 1 at the
// next poll: no further chunk read, no further part made, no prompt.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>

#include "driver/program.h"
#include "text/loader.h"
#include "unit/child_process.h"
#include "unit/temp_file.h"

namespace {

// Only a failing test waits this long.
constexpr std::chrono::seconds kPatience{60};

constexpr std::size_t kChunk = 4096;
constexpr std::size_t kChunks = 40;
// One poll before every chunk of the text and one that finds its end, then
// one before every part of the kind map, which has as many parts.
constexpr std::size_t kLoadPolls = kChunks + 1;

std::size_t heldPoll = 0;  // the poll that waits for the test, counted from 1
std::size_t polls = 0;

// Writes a dot to standard error at every poll; at the held one, waits for
// a line on standard input before the loader polls for Ctrl-C.
void holdAtPoll() {
  ++polls;
  if (write(2, ".", 1) != 1) std::_Exit(3);
  if (polls != heldPoll) return;
  char byte;
  while (read(0, &byte, 1) < 0 && errno == EINTR) {
  }
}

TEST(LoadingInterrupt, EndsWithStatusOneAtTheNextPoll) {
  const std::string path = writeTempFile(std::string(kChunk * kChunks, 'a'));
  for (const std::size_t held :
       {std::size_t{1}, kChunks / 2, kLoadPolls, kLoadPolls + kChunks / 2}) {
    // On a terminal the line of dots is ended; on a pipe nothing follows it.
    for (const bool terminal : {false, true}) {
      heldPoll = held;
      ChildProcess child(
          [&path] {
            loaderTuning.chunk_bytes = static_cast<int>(kChunk);
            loaderTuning.poll_hook = holdAtPoll;
            std::string name = path;
            char program[] = "elsScan";
            char* argv[] = {program, name.data(), nullptr};
            return runProgram(2, argv);
          },
          terminal ? ChildProcess::Output::kErrorTerminal : ChildProcess::Output::kPipes);
      ASSERT_GT(child.pid(), 0);
      ASSERT_TRUE(child.waitFor([&] { return child.err().size() >= held; }, kPatience))
          << held << ": " << child.err();
      ASSERT_TRUE(child.sendSignal(SIGINT));
      child.write("\n");
      EXPECT_EQ(child.wait(kPatience), 1) << held;
      EXPECT_EQ(child.err(), std::string(held, '.') + (terminal ? "\n" : "")) << held;
      EXPECT_EQ(child.out(), "") << held;
    }
  }
}

}  // namespace
