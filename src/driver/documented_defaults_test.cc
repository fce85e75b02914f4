// The defaults and bounds of the commands, as --help, the manual and the
// README state them in words: each number stands in its sentence, so that a
// changed default cannot leave one of them telling the old one.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/main_info.h"
#include "driver/help.h"

namespace {

// The text with every run of white space (line breaks included) as one blank.
std::string oneLine(const std::string& text) {
  std::string joined;
  for (const char c : text) {
    const bool blank = c == ' ' || c == '\n' || c == '\t' || c == '\r';
    if (!blank) {
      joined.push_back(c);
    } else if (!joined.empty() && joined.back() != ' ') {
      joined.push_back(' ');
    }
  }
  return joined;
}

std::string sourceFile(const std::string& name) {
  std::ifstream file(std::string(ELSSCAN_SOURCE_DIR) + "/" + name, std::ios::binary);
  EXPECT_TRUE(file.good()) << name;
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::string n(int value) { return std::to_string(value); }

void expectSentences(const std::string& text, const std::vector<std::string>& sentences,
                     const char* where) {
  const std::string joined = oneLine(text);
  for (const std::string& sentence : sentences) {
    EXPECT_NE(joined.find(sentence), std::string::npos) << where << " lacks: " << sentence;
  }
}

TEST(DocumentedDefaults, HelpStatesTheDefaultsAndBounds) {
  expectSentences(helpText(),
                  {"set the skip limit (default " + n(kDefaultSkipLimit) + ")",
                   "C columns and R rows (" + n(kMinWindow) + " to " + n(kMaxWindow) +
                       "; default " + n(kDefaultWidth) + " and " + n(kDefaultHeight) + ")",
                   "After every " + n(kPageLines) + " lines the listing waits"},
                  "--help");
}

TEST(DocumentedDefaults, ManualStatesTheDefaultsAndBounds) {
  expectSentences(sourceFile("doc/elsScan.1"),
                  {"Set the skip limit to .I n (default " + n(kDefaultSkipLimit) + ").",
                   "rows, each from " + n(kMinWindow) + " to " + n(kMaxWindow) + " (default " +
                       n(kDefaultWidth) + " and " + n(kDefaultHeight) + ").",
                   "the last one stays (at first " + n(kDefaultWidth) + ").",
                   "After every " + n(kPageLines) + " lines the listing waits"},
                  "doc/elsScan.1");
}

TEST(DocumentedDefaults, ReadmeStatesTheDefaultsAndBounds) {
  expectSentences(sourceFile("README.md"),
                  {"| set the skip limit (default " + n(kDefaultSkipLimit) + ") |",
                   "c columns and r rows (" + n(kMinWindow) + " to " + n(kMaxWindow) +
                       "; default " + n(kDefaultWidth) + " x " + n(kDefaultHeight) + ") |",
                   "After every " + n(kPageLines) + " lines the listing waits",
                   "pauses every " + n(kPageLines) + " lines at `continued ... `"},
                  "README.md");
}

// The short guide in the Windows zip.
TEST(DocumentedDefaults, WindowsGuideStatesTheSkipLimitAndPage) {
  expectSentences(sourceFile("doc/README-Windows.txt"),
                  {"over skips 1 to the limit (" + n(kDefaultSkipLimit) + ")",
                   "After every " + n(kPageLines) + " hits the listing waits"},
                  "doc/README-Windows.txt");
}

}  // namespace
