// Standard input that cannot be read is not the end of the commands: the
// program says why and ends with status 1, where it once quit with status 0
// as if every command had run. Input that is merely not there yet (a
// non-blocking pipe) is waited for.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "unit/child_process.h"
#include "unit/temp_file.h"

namespace {

// Only a failing test waits this long.
constexpr std::chrono::seconds kPatience{60};

TEST(UnreadableCommands, EndWithTheSystemsReasonAndStatusOne) {
  const std::string text = writeTempFile("ABCAB");
  const struct {
    ChildProcess::Input input;
    int error;
  } cases[] = {{ChildProcess::Input::kDirectory, EISDIR}, {ChildProcess::Input::kClosed, EBADF}};
  for (const auto& c : cases) {
    ChildProcess child({ELSSCAN_BINARY, text}, c.input);
    EXPECT_EQ(child.wait(kPatience), 1) << c.error;
    EXPECT_EQ(child.err(),
              std::string("command: cannot read the commands: ") + std::strerror(c.error) + "\n");
    EXPECT_EQ(child.out(), "");
  }
}

TEST(UnreadableCommands, InputNotThereYetIsWaitedFor) {
  ChildProcess child({ELSSCAN_BINARY, writeTempFile("ABCAB")},
                     ChildProcess::Input::kNonBlockingPipe);
  ASSERT_TRUE(child.waitForError("command: ", 1, kPatience)) << child.err();
  // Let the program find the pipe empty before the command comes.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  child.write("q\n");
  EXPECT_EQ(child.wait(kPatience), 0);
  EXPECT_EQ(child.err(), "command: ");
}

}  // namespace
