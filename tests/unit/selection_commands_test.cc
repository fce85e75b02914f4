// The selection as the commands s, l, d and P drive it, through the command
// loop's own dispatch.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/hit_triple.h"
#include "core/main_info.h"
#include "driver/commands.h"
#include "select/selection.h"
#include "text/line_map.h"
#include "unit/console_capture.h"
#include "unit/temp_file.h"

namespace {

using console_test::merged;
using console_test::readable;
using console_test::withInput;

// The text a to z repeated to 100 bytes, and the hits of "ace" in it as a
// search lists them:
//   1 (2,1)   ace (1,3,5)        4 backward (24,48)  eca (5,29,53)
//   2 (2,27)  ace (27,29,31)     5 backward (24,22)  eca (31,55,79)
//   3 (2,53)  ace (53,55,57)
class Selecting : public testing::Test {
 protected:
  void SetUp() override {
    resetMainInfo();
    for (int i = 0; i < 100; ++i) text_.push_back(static_cast<char>('a' + i % 26));
    kinds_.assign(text_.size(), '0');
    mainInfo.text = text_.data();
    mainInfo.kindMap = kinds_.data();
    mainInfo.textLen = 100;
    std::strcpy(mainInfo.pattern, "ace");
    mainInfo.patternLen = 3;
    setHits(&lists_.forwardHits, {{2, 1}, {2, 27}, {2, 53}});
    setHits(&lists_.backwardHits, {{24, 48}, {24, 22}});
    mainInfo.forwardCount = 3;
    mainInfo.backwardCount = 2;
  }

  void TearDown() override {
    for (Selection* s = lists_.firstSelection.next; s != nullptr;) {
      Selection* next = s->next;
      std::free(s);
      s = next;
    }
    resetMainInfo();
  }

  static void setHits(HitList* list, const std::vector<std::pair<int, int>>& hits) {
    list->clear();
    for (const auto& [skip, pos] : hits) list->append(skip, pos);
  }

  // Runs command lines and returns what they wrote, both streams in order.
  std::string run(const std::vector<std::string>& lines) {
    return readable(merged([&] {
      for (const std::string& line : lines) runCommand(line, &lists_);
    }));
  }

  std::string runWithInput(const std::string& line, const std::string& input) {
    std::string out;
    withInput(input, [&] { out = run({line}); });
    return out;
  }

  void expectSpan(int area_start, int area_end, int center_min, int center_max) {
    EXPECT_EQ(mainInfo.areaStart, area_start);
    EXPECT_EQ(mainInfo.areaEnd, area_end);
    EXPECT_EQ(mainInfo.centerMin, center_min);
    EXPECT_EQ(mainInfo.centerMax, center_max);
  }

  int chainLength() const {
    int length = 1;
    for (const Selection* s = lists_.firstSelection.next; s != nullptr; s = s->next) ++length;
    return length;
  }

  SessionLists lists_{};

 private:
  std::string text_;
  std::string kinds_;
};

TEST_F(Selecting, EndOfInputAtADeleteQuestionAnswersNo) {
  run({"s 1", "s 2"});
  runWithInput("d  ", "yes\n");
  EXPECT_EQ(run({"l"}), "ace: skip=2, string=(27,29,31)\n");
}

TEST_F(Selecting, DeletingTheLastStringEmptiesTheSpan) {
  EXPECT_EQ(run({"d"}), "");  // nothing to ask about
  expectSpan(-1, -1, -1, -1);
  run({"s 3", "d 1"});
  EXPECT_EQ(mainInfo.selectedCount, 0);
  expectSpan(-1, -1, -1, -1);
  EXPECT_EQ(run({"P"}), "... no selected string\n");
}

TEST_F(Selecting, FirstSelectionAfterADropSetsTheWholeSpan) {
  run({"s 1", "s 5", "s"});
  EXPECT_EQ(mainInfo.selectedCount, 0);
  expectSpan(-1, -1, 3, 55);  // the centers keep their values
  run({"s 2"});
  expectSpan(27, 31, 29, 29);
}

TEST_F(Selecting, DroppedRecordsAreReusedBeforeNewOnesAreAllocated) {
  run({"s 1", "s 2", "s 3"});
  const Selection* second = lists_.firstSelection.next;
  const Selection* third = second->next;
  EXPECT_EQ(chainLength(), 3);
  run({"s", "s 5", "s 4", "s 1"});
  EXPECT_EQ(chainLength(), 3);
  EXPECT_EQ(lists_.firstSelection.next, second);
  EXPECT_EQ(second->next, third);
  EXPECT_EQ(third->start, 1);
  run({"s 2"});
  EXPECT_EQ(chainLength(), 4);
  EXPECT_EQ(run({"l"}),
            "eca: skip=24, string=(31,55,79)\n"
            "eca: skip=24, string=(5,29,53)\n"
            "ace: skip=2, string=(1,3,5)\n"
            "ace: skip=2, string=(27,29,31)\n");
}

TEST_F(Selecting, SelectedStringsKeepTheirLengthAfterTheSearchStringChanges) {
  run({"s 1"});
  std::strcpy(mainInfo.pattern, "a");
  mainInfo.patternLen = 1;
  EXPECT_EQ(run({"l", "s 4", "l"}),
            "ace: skip=2, string=(1,3,5)\n"
            "... selected string area = (53,53)\n"
            "ace: skip=2, string=(1,3,5)\n"
            "a: skip=24, string=(53,53,53)\n");
}

// r finds hits and selected strings in the file, here the text in lines of
// 26 letters: position p stands at line (p - 1) / 26 + 1, column
// (p - 1) % 26 + 1.
TEST_F(Selecting, RTellsWhereHitsAndSelectedStringsStandInTheFile) {
  std::string file;
  for (int i = 0; i < 100; ++i) {
    file.push_back(static_cast<char>('a' + i % 26));
    if (i % 26 == 25) file.push_back('\n');
  }
  const std::string path = writeTempFile(file);
  setTextFile(path.c_str());
  EXPECT_EQ(run({"r", "r 1", "r 4", "r 9", "s 2", "s 4", "r"}),
            "... no selected string\n"
            "... 1: start 1 at line 1 column 1, end 5 at line 1 column 5\n"
            "... 4: start 5 at line 1 column 5, end 53 at line 3 column 1\n"
            "... 9: invalid number; (1 - 5) available\n"
            "... selected string area = (27,31)\n"
            "... selected string area = (5,53)\n"
            "... 1: start 27 at line 2 column 1, end 31 at line 2 column 5\n"
            "... 2: start 5 at line 1 column 5, end 53 at line 3 column 1\n");
  // After a refused empty search string a hit's end comes before its start.
  mainInfo.patternLen = 0;
  EXPECT_EQ(run({"r 2"}), "... 2: start 27 at line 2 column 1, end 25 at line 1 column 25\n");
  mainInfo.patternLen = -20;
  EXPECT_EQ(run({"r 1"}), "... 1: start 1 at line 1 column 1, end -41 outside the text\n");
  mainInfo.patternLen = 3;
  std::remove(path.c_str());
  EXPECT_EQ(run({"r 1", "r"}), "... " + path + ": not found\n... " + path + ": not found\n");
}

}  // namespace
