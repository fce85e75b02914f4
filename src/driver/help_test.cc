#include "driver/help.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#if defined(__linux__)
#include <sys/wait.h>
#endif

namespace {

// The help has to read well on any terminal, a Shift-JIS one included, and
// in 80 columns.
TEST(Help, IsPlainAsciiInLinesOfAtMost79Columns) {
  const std::string_view text = helpText();
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    EXPECT_TRUE(byte == '\n' || (byte >= 0x20 && byte < 0x7F)) << "byte " << i;
    if (byte == '\n') {
      EXPECT_LE(i - lineStart, 79u) << text.substr(lineStart, i - lineStart);
      lineStart = i + 1;
    }
  }
}

TEST(Help, VersionIsThreeNumbers) {
  int major = -1, minor = -1, patch = -1;
  char rest = 0;
  EXPECT_EQ(std::sscanf(versionText, "%d.%d.%d%c", &major, &minor, &patch, &rest), 3)
      << versionText;
}

#if defined(__linux__)
// Help or version that cannot be written is a failure, not status 0.
TEST(Help, OutputThatCannotBeWrittenEndsWithStatusOne) {
  for (const char* argument : {"--help", "--version"}) {
    const std::string command = std::string(ELSSCAN_BINARY) + " " + argument + " > /dev/full";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << argument;
    EXPECT_EQ(WEXITSTATUS(status), 1) << argument;
  }
}
#endif

}  // namespace
