#include "search/run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/hit_list.h"
#include "core/main_info.h"
#include "unit/temp_file.h"
#include "util/console.h"
#include "util/interrupt.h"
#include "util/message.h"

namespace {

// n repetitions of s.
std::string times(int n, const std::string& s) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// The hit lines numbered first to last, listed forward or backward, for the
// texts that pages() builds (skip 1, "AB"): forward hit k starts at 3k - 2.
std::string forwardLines(int first, int last) {
  std::string out;
  char line[64];
  for (int k = first; k <= last; ++k) {
    std::snprintf(line, sizeof line, "(%d): skip=1, string=(%d,%d,%d)\n", k, 3 * k - 2, 3 * k - 2,
                  3 * k - 1);
    out += line;
  }
  return out;
}

class SearchBoth : public testing::Test {
 protected:
  void SetUp() override { resetMainInfo(); }
  void TearDown() override {
    noPager = 0;
    forward_.clear();
    backward_.clear();
  }

  void load(const std::string& text) {
    text_ = text;
    mainInfo.text = text_.data();
    mainInfo.textLen = static_cast<int>(text_.size());
  }

  // A text with f forward and b backward hits of "AB" at skip 1 only: "AB"
  // stands f times, "BA" b times, never overlapping.
  void pages(int f, int b) {
    load(times(f, "ABC") + times(b, "BAC"));
    mainInfo.skipLimit = 1;
  }

  // Runs a search (search != 0) or a listing with replies on standard input;
  // the two output streams go to out_ and err_.
  void run(int search, const char* pattern, const std::string& replies = "") {
    feed(replies);
    std::snprintf(mainInfo.pattern, sizeof mainInfo.pattern, "%s", pattern);
    mainInfo.patternLen = static_cast<int>(std::string(pattern).size());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    searchBoth(search, 0, &forward_, &backward_);
    flushOutput();
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
  }

  static void feed(const std::string& bytes) {
    ASSERT_NE(std::freopen(writeTempFile(bytes).c_str(), "rb", stdin), nullptr);
  }

  std::string text_;
  HitList forward_;
  HitList backward_;
  std::string out_;
  std::string err_;
};

TEST(ReverseText, SwapsBytesAroundTheMiddle) {
  const struct {
    std::string text;
    std::string reversed;
  } cases[] = {{"", ""},       {"a", "a"},       {"ab", "ba"},
               {"abc", "cba"}, {"abcd", "dcba"}, {"\x82\xA0x", "x\xA0\x82"}};
  for (const auto& c : cases) {
    std::string text = c.text;
    reverseText(text.data());
    EXPECT_EQ(text, c.reversed);
  }
}

TEST(PosStack, PopsInReverseAcrossGrowthAndEmptiesWithoutPopping) {
  for (int i = 0; i < 600; ++i) ASSERT_EQ(posStack(kPosPush, i * 3), i * 3);
  for (int i = 599; i >= 0; --i) ASSERT_EQ(posStack(kPosPop, 0), i * 3);
  posStack(kPosPush, 1);
  posStack(kPosPush, 2);
  EXPECT_EQ(posStack(kPosEmpty, 0), 0);
  posStack(kPosPush, 7);
  EXPECT_EQ(posStack(kPosPop, 0), 7);
}

TEST(ReorderBackward, ReversesThePositionsOfEachSkipInPlace) {
  // Skip 1 with 300 hits (beyond one stack step), skip 2 with one, skip 5
  // with two.
  HitList list;
  for (int i = 1; i <= 300; ++i) list.append(1, i);
  list.append(2, 42);
  list.append(5, 8);
  list.append(5, 9);

  reorderBackward(&list);

  ASSERT_EQ(list.count(), 303);
  for (int i = 0; i < 300; ++i) EXPECT_EQ(list.at(i).pos, 300 - i);
  EXPECT_EQ(list.at(300).pos, 42);
  EXPECT_EQ(list.at(301).pos, 9);
  EXPECT_EQ(list.at(302).pos, 8);
  for (int i = 0; i < 300; ++i) EXPECT_EQ(list.at(i).skip, 1);
  EXPECT_EQ(list.at(300).skip, 2);
  EXPECT_EQ(list.at(302).skip, 5);
}

TEST_F(SearchBoth, ReorderedBackwardHitsAreListedWithAscendingStarts) {
  load(std::string(100, 'x'));
  backward_.append(3, 5);
  backward_.append(3, 9);
  backward_.append(3, 20);
  reorderBackward(&backward_);
  mainInfo.backwardCount = 3;
  run(0, "AB");
  EXPECT_EQ(out_,
            "(1): skip=-3, string=(78,79,81)\n"
            "(2): skip=-3, string=(89,90,92)\n"
            "(3): skip=-3, string=(93,94,96)\n");
  EXPECT_EQ(err_, "");
}

TEST_F(SearchBoth, TextIsRestoredAfterEveryBackwardScan) {
  load("ABCDEFGHI");
  run(1, "IG");
  EXPECT_EQ(text_, "ABCDEFGHI");
  EXPECT_EQ(out_, "(1): skip=-2, string=(7,8,9)\n");

  // A refused scan reverses and restores the text all the same.
  load("ABCDE");
  run(1, "ABCDEF");
  EXPECT_EQ(text_, "ABCDE");
  EXPECT_EQ(err_,
            "searching forward Text string or searching string is too short.\n\n"
            "searching backward Text string or searching string is too short.\n\n");
  EXPECT_EQ(out_, "");
}

TEST_F(SearchBoth, PendingCtrlCEndsTheProgramBeforeAScanBegins) {
  load(std::string(100, 'a'));
  std::snprintf(mainInfo.pattern, sizeof mainInfo.pattern, "aa");
  mainInfo.patternLen = 2;
  EXPECT_EXIT(
      {
        exitPending = 1;
        searchBoth(1, 0, &forward_, &backward_);
      },
      testing::ExitedWithCode(1), "^searching forward $");
}

// The hits of both readings are numbered as one int: a limit lowered from
// kMaxHits to 6 stands for it. 3 forward hits leave room for 3 backward
// ones, not for 4.
TEST_F(SearchBoth, BackwardHitsFillWhatTheForwardHitsLeaveOfTheLimit) {
  pages(3, 3);
  forward_.setLimit(6);
  run(1, "AB");
  EXPECT_EQ(mainInfo.forwardCount + mainInfo.backwardCount, 6);
  EXPECT_NE(out_.find("(6): skip=-1, string=(16,16,17)\n"), std::string::npos) << out_;

  pages(3, 4);
  forward_.setLimit(6);
  std::snprintf(mainInfo.pattern, sizeof mainInfo.pattern, "AB");
  mainInfo.patternLen = 2;
  EXPECT_EXIT(searchBoth(1, 0, &forward_, &backward_), testing::ExitedWithCode(1),
              "^searching forward \nsearching backward cannot get the memory of 16 bytes\n$");
}

TEST_F(SearchBoth, NewSearchDropsTheOldHits) {
  load(std::string(50, 'a'));
  run(1, "aa");
  EXPECT_EQ(mainInfo.forwardCount, 1225);  // 49 + 48 + ... + 1
  load("abcde");
  run(1, "zz");
  EXPECT_EQ(mainInfo.forwardCount, 0);
  EXPECT_EQ(mainInfo.backwardCount, 0);
  EXPECT_TRUE(forward_.empty());
  EXPECT_TRUE(backward_.empty());
}

TEST_F(SearchBoth, QuitStopsOnlyItsOwnSectionAndKeepsTheCounts) {
  pages(100, 30);
  run(1, "AB", "q\nQuiet\n");
  // The backward section pages afresh: 24 lines, then q stops it.
  EXPECT_EQ(out_.substr(0, forwardLines(1, 24).size()), forwardLines(1, 24));
  EXPECT_EQ(out_.find("(25)"), std::string::npos);
  EXPECT_NE(out_.find("(101): skip=-1,"), std::string::npos);
  EXPECT_NE(out_.find("(124): skip=-1,"), std::string::npos);
  EXPECT_EQ(out_.find("(125)"), std::string::npos);
  EXPECT_EQ(err_, "searching forward \ncontinued ... searching backward \ncontinued ... ");
  EXPECT_EQ(mainInfo.forwardCount, 100);
  EXPECT_EQ(mainInfo.backwardCount, 30);
}

TEST_F(SearchBoth, PageFilledByStoppedForwardSectionPromptsAfterTheMarks) {
  // q at the first prompt: hits 25 to 48 still count as lines, a full page.
  pages(48, 24);
  run(1, "AB", "q\nq\n\n");
  EXPECT_EQ(err_,
            "searching forward \ncontinued ... searching backward continued ... \n"
            "continued ... ");
  EXPECT_NE(out_.find("(71)"), std::string::npos);
  EXPECT_NE(out_.find("(72)"), std::string::npos);  // the q after the marks stops nothing

  // With one line fewer the "\n" after the marks fills the page.
  pages(47, 1);
  run(1, "AB", "q\n\n");
  EXPECT_EQ(err_, "searching forward \ncontinued ... searching backward \ncontinued ... ");
  EXPECT_EQ(out_, forwardLines(1, 24) + "(48): skip=-1, string=(142,142,143)\n");
}

TEST_F(SearchBoth, ListingRunsOneCounterAcrossBothSections) {
  pages(20, 10);
  run(1, "AB", "\n");
  run(0, "AB", "\n");
  EXPECT_EQ(err_, "continued ... ");
  EXPECT_EQ(out_.find("continued"), std::string::npos);
  EXPECT_NE(out_.find("(24): skip=-1,"), std::string::npos);
  EXPECT_NE(out_.find("(30): skip=-1,"), std::string::npos);
}

TEST_F(SearchBoth, WithoutThePagerEveryLineIsListedAndNoReplyIsRead) {
  // Around one and two pages, with the page filled right before the marks
  // (24 + 0) and by the line after them (23 + 1).
  const int sizes[][2] = {{23, 0}, {24, 0}, {25, 0}, {23, 1}, {24, 1}, {47, 1}, {48, 24}, {60, 70}};
  noPager = 1;
  for (const auto& size : sizes) {
    const int f = size[0];
    const int b = size[1];
    pages(f, b);
    std::string backward;
    char line[96];
    for (int j = 1; j <= b; ++j) {
      const int start = 3 * f + 3 * j - 2;
      std::snprintf(line, sizeof line, "(%d): skip=-1, string=(%d,%d,%d)\n", f + j, start, start,
                    start + 1);
      backward += line;
    }
    // Replies that would stop a section stay unread for the next command.
    for (const int search : {1, 0}) {
      run(search, "AB", "q\nnext\n");
      EXPECT_EQ(out_, forwardLines(1, f) + backward) << f << "+" << b << " search=" << search;
      EXPECT_EQ(err_, search != 0 ? "searching forward \nsearching backward \n" : "")
          << f << "+" << b;
      std::string unread;
      ASSERT_TRUE(readLine(&unread));
      EXPECT_EQ(unread, "q") << f << "+" << b << " search=" << search;
    }
    EXPECT_EQ(mainInfo.forwardCount, f);
    EXPECT_EQ(mainInfo.backwardCount, b);
  }
}

}  // namespace
