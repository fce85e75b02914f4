#include "search/scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/hit_list.h"
#include "core/main_info.h"
#include "util/interrupt.h"

namespace {

using Hits = std::vector<std::pair<int, int>>;  // (skip, pos) in list order

class FindSequences : public testing::Test {
 protected:
  void SetUp() override { resetMainInfo(); }
  void TearDown() override {
    list_.clear();
    interruptPollHook = nullptr;
    searching = 0;
    interrupted = 0;
  }

  // Scans text for pattern; the progress marks or the refusal go to marks_.
  int scan(const std::string& text, const char* pattern, int all_skips = 1) {
    testing::internal::CaptureStderr();
    const int result = findSequences(all_skips, pattern, text.c_str(), &list_);
    marks_ = testing::internal::GetCapturedStderr();
    return result;
  }

  Hits hits() const {
    Hits list;
    for (int index = 0; index < list_.count(); ++index) {
      list.emplace_back(list_.at(index).skip, list_.at(index).pos);
    }
    return list;
  }

  HitList list_;
  std::string marks_;
};

// A text of n bytes 'x' with the given letters planted at 1-based positions.
std::string textWith(int n, std::vector<std::pair<int, char>> letters = {}) {
  std::string text(static_cast<std::size_t>(n), 'x');
  for (const auto& [pos, letter] : letters) text[static_cast<std::size_t>(pos - 1)] = letter;
  return text;
}

TEST_F(FindSequences, ListsHitsBySkipThenPosition) {
  EXPECT_EQ(scan("ABABAB", "AA"), 1);
  EXPECT_EQ(hits(), (Hits{{2, 1}, {2, 3}, {4, 1}}));
  EXPECT_EQ(marks_, "");

  EXPECT_EQ(scan("ABC", "AC"), 1);
  EXPECT_EQ(hits(), (Hits{{2, 1}}));
}

TEST_F(FindSequences, TwoEqualLettersMatchEverywhereUpToTheLastByte) {
  EXPECT_EQ(scan("aaaaaa", "aa"), 1);
  EXPECT_EQ(hits(), (Hits{{1, 1},
                          {1, 2},
                          {1, 3},
                          {1, 4},
                          {1, 5},
                          {2, 1},
                          {2, 2},
                          {2, 3},
                          {2, 4},
                          {3, 1},
                          {3, 2},
                          {3, 3},
                          {4, 1},
                          {4, 2},
                          {5, 1}}));
}

TEST_F(FindSequences, ComparesBytesExactly) {
  EXPECT_EQ(scan("aAbB\x82\xA0", "AB"), 1);
  EXPECT_EQ(hits(), (Hits{{2, 2}}));
  // A double-byte letter is two letters, the second one skip bytes later.
  EXPECT_EQ(scan("\x82x\xA0x", "\x82\xA0"), 1);
  EXPECT_EQ(hits(), (Hits{{2, 1}}));
  EXPECT_EQ(scan("abc", "Ab"), 0);
  EXPECT_EQ(hits(), Hits{});
}

TEST_F(FindSequences, SkipLimitAppliesUnlessAllSkips) {
  mainInfo.skipLimit = 1;
  EXPECT_EQ(scan("axbab", "ab", 0), 1);
  EXPECT_EQ(hits(), (Hits{{1, 4}}));
  EXPECT_EQ(scan("axbab", "ab", 1), 1);
  EXPECT_EQ(hits(), (Hits{{1, 4}, {2, 1}, {4, 1}}));
}

TEST_F(FindSequences, RefusesShortTextsAndLongStringsWithAnEmptyList) {
  const std::string too_short = "Text string or searching string is too short.\n";
  const std::string too_long = "Searching string is too long(max. is 4096).\n";
  const struct {
    std::string text;
    std::string pattern;
    const std::string& message;
  } cases[] = {
      {"AB", "AB", too_short},
      {"A", "A", too_short},
      {"A", "AB", too_short},
      {"ABC", "A", too_short},
      {"ABC", "", too_short},
      {"", "AB", too_short},
      {std::string(5000, 'A'), std::string(4096, 'A'), too_long},
  };
  for (const auto& c : cases) {
    list_.append(3, 7);  // a stale hit
    EXPECT_EQ(scan(c.text, c.pattern.c_str()), 0) << c.text.size() << "/" << c.pattern;
    EXPECT_EQ(marks_, c.message) << c.text.size() << "/" << c.pattern;
    EXPECT_TRUE(list_.empty());
  }
  // 4095 letters are still scanned.
  EXPECT_EQ(scan(std::string(5000, 'A'), std::string(4095, 'A').c_str()), 1);
  EXPECT_EQ(hits().size(), 906u);  // skip 1 only: 5000 - 4095 + 1 starts
}

TEST_F(FindSequences, WritesMarksOnlyFromThirtySkipsOn) {
  // With two letters the highest skip is the text length.
  const struct {
    int max_skip;
    std::size_t marks;
  } cases[] = {{29, 0}, {30, 30}, {59, 59}, {60, 30}, {61, 30}, {89, 44}, {90, 30}};
  for (const auto& c : cases) {
    EXPECT_EQ(scan(textWith(c.max_skip), "ab"), 0);
    EXPECT_EQ(marks_, std::string(c.marks, '.')) << c.max_skip;
  }
}

TEST_F(FindSequences, MarkTellsWhetherTheSkipsBeforeItFoundAHit) {
  // Highest skip 60, a mark every 2 skips: the marks stand before skips 2, 4, ..., 60.
  scan(textWith(60, {{1, 'a'}, {4, 'b'}}), "ab");  // skip 3
  EXPECT_EQ(marks_, ".*" + std::string(28, '.'));
  scan(textWith(60, {{1, 'a'}, {5, 'b'}}), "ab");  // skip 4, after its mark
  EXPECT_EQ(marks_, "..*" + std::string(27, '.'));
  scan(textWith(60, {{1, 'a'}, {2, 'b'}}), "ab");  // skip 1, before any mark
  EXPECT_EQ(marks_, "*" + std::string(29, '.'));
  // Highest skip 61: a hit of skip 60 or 61 comes after the last mark.
  EXPECT_EQ(scan(textWith(61, {{1, 'a'}, {61, 'b'}}), "ab"), 1);
  EXPECT_EQ(marks_, std::string(30, '.'));
}

TEST_F(FindSequences, DefaultLimitGivesAMarkEvery333SkipsOnALongText) {
  // 20004 bytes and three letters would allow skips up to 10002; the default
  // limit stops at 10000, and the marks come every 333 skips: hits at skips
  // 332 and 333 make the first two marks stars only for an interval of 333.
  const std::string text = textWith(20004, {{2, 'a'},
                                            {334, 'b'},
                                            {666, 'c'},  // 332
                                            {3, 'a'},
                                            {336, 'b'},
                                            {669, 'c'},  // 333
                                            {1, 'a'},
                                            {10002, 'b'},
                                            {20003, 'c'}});
  EXPECT_EQ(scan(text, "abc", 0), 1);
  EXPECT_EQ(marks_, "**" + std::string(28, '.'));
  EXPECT_EQ(hits(), (Hits{{332, 2}, {333, 3}}));  // not the one at skip 10001
}

TEST_F(FindSequences, RaisedFlagStopsTheScanAndBothFlagsEndCleared) {
  interrupted = 1;
  EXPECT_EQ(scan("ABAB", "AB"), 0);  // polled before the first position
  EXPECT_EQ(hits(), Hits{});
  EXPECT_EQ(interrupted, 0);
  EXPECT_EQ(searching, 0);
  // Refusals leave the flags alone.
  interrupted = 1;
  EXPECT_EQ(scan("AB", "AB"), 0);
  EXPECT_EQ(interrupted, 1);
}

// Raises interrupted at the first poll after the third progress mark. The
// marks go, unbuffered, to the file that catches standard error, so its size
// counts them.
void interruptAfterThirdMark() {
  struct stat caught {};
  if (fstat(2, &caught) == 0 && caught.st_size >= 3) interrupted = 1;
}

TEST_F(FindSequences, InterruptKeepsTheHitsOfTheSkipsBeforeIt) {
  // Highest skip 40, a mark every skip: the third mark stands before skip 3.
  interruptPollHook = interruptAfterThirdMark;
  EXPECT_EQ(scan(std::string(40, 'a'), "aa"), 1);
  EXPECT_EQ(marks_, ".**");
  const Hits found = hits();
  ASSERT_EQ(found.size(), 39u + 38u);
  EXPECT_EQ(found.front(), std::make_pair(1, 1));
  EXPECT_EQ(found[38], std::make_pair(1, 39));
  EXPECT_EQ(found.back(), std::make_pair(2, 38));
  EXPECT_EQ(interrupted, 0);
  EXPECT_EQ(searching, 0);
}

}  // namespace
