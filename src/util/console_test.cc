#include "util/console.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "unit/temp_file.h"

namespace {

// Feeds bytes to standard input and returns every line readLine gives, with
// "<end>" for the end of input.
std::vector<std::string> linesOf(const std::string& bytes) {
  const std::string path = writeTempFile(bytes);
  EXPECT_NE(std::freopen(path.c_str(), "rb", stdin), nullptr);
  std::vector<std::string> lines;
  std::string line;
  while (readLine(&line)) lines.push_back(line);
  EXPECT_TRUE(line.empty());
  lines.push_back("<end>");
  return lines;
}

using Lines = std::vector<std::string>;

TEST(ReadLine, DropsLineFeedAndTheCarriageReturnBeforeIt) {
  EXPECT_EQ(linesOf("q\r\n\r\nab\n"), (Lines{"q", "", "ab", "<end>"}));
  EXPECT_EQ(linesOf("a\r\rb\r\n"), (Lines{"a\r\rb", "<end>"}));
}

TEST(ReadLine, LastLineWithoutLineFeedCountsAndKeepsItsCarriageReturn) {
  EXPECT_EQ(linesOf("m 5\nq"), (Lines{"m 5", "q", "<end>"}));
  EXPECT_EQ(linesOf("q\r"), (Lines{"q\r", "<end>"}));
  EXPECT_EQ(linesOf(""), (Lines{"<end>"}));
}

TEST(ReadLine, LineEndsAtItsFirstNul) {
  EXPECT_EQ(linesOf(std::string("ab\0cd\nx\n", 8)), (Lines{"ab", "x", "<end>"}));
}

TEST(ReadLine, ReadsLinesOfAnyLength) {
  const std::string long_line(100000, 'z');
  EXPECT_EQ(linesOf(long_line + "\nq\n"), (Lines{long_line, "q", "<end>"}));
}

TEST(ReadNumber, ReadsAsAtoiDoes) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {"5", 5},   {" \t\n\v\f\r42x", 42},
      {"-7", -7}, {"+8", 8},
      {"x", 0},   {"", 0},
      {"- 1", 0}, {"1,2", 1},
      {"007", 7}, {"--1", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(readNumber(c.text), c.value) << c.text;
}

TEST(ReadNumber, SaturatesBeyondTheIntRange) {
  EXPECT_EQ(readNumber("2147483647"), INT_MAX);
  EXPECT_EQ(readNumber("2147483648"), INT_MAX);
  EXPECT_EQ(readNumber("99999999999999999999999"), INT_MAX);
  EXPECT_EQ(readNumber("-2147483648"), INT_MIN);
  EXPECT_EQ(readNumber("-99999999999999999999999"), INT_MIN);
}

TEST(SkipBlanks, SkipsSpacesOnly) {
  const char text[] = "  \tx";
  EXPECT_EQ(skipBlanks(text), text + 2);
}

}  // namespace
