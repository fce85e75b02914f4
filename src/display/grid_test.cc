#include "display/grid.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/main_info.h"
#include "unit/console_capture.h"

namespace {

using console_test::merged;
using console_test::readable;

// The letters a to z repeated: position p holds 'a' + (p - 1) % 26.
std::string alphabet(int length) {
  std::string text;
  for (int i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + i % 26));
  return text;
}

// Windows of width 10 over a text that is all single bytes unless a test
// says otherwise. Highlighted bytes show as <x>.
class Grid : public testing::Test {
 protected:
  void SetUp() override {
    resetMainInfo();
    mainInfo.width = 10;
    setText(alphabet(100));
  }

  void TearDown() override {
    resetMainInfo();
    while (selections_.size() > 1) {
      std::free(selections_.back());
      selections_.pop_back();
    }
  }

  void setText(const std::string& text, std::string kinds = "") {
    text_ = text;
    if (kinds.empty()) kinds.assign(text.size(), '0');
    kinds_ = kinds;
    mainInfo.text = text_.data();
    mainInfo.kindMap = kinds_.data();
    mainInfo.textLen = static_cast<int>(text_.size());
  }

  void fix(int top, int return_len) {
    mainInfo.topPos = top;
    mainInfo.returnLen = return_len;
  }

  std::string hitWindow(int skip, int start, int center, int height, const std::string& pattern) {
    return readable(merged([&] {
      showHitWindow(skip, start, center, height, mainInfo.width, pattern.c_str(), mainInfo.text);
    }));
  }

  // Selects strings given as {skip, start, length}, chained from one head.
  void select(const std::vector<Selection>& strings) {
    head_ = Selection{};
    Selection* tail = &head_;
    for (std::size_t k = 0; k < strings.size(); ++k) {
      if (k > 0) {
        tail->next = static_cast<Selection*>(std::calloc(1, sizeof(Selection)));
        selections_.push_back(tail->next);
        tail = tail->next;
      }
      tail->skip = strings[k].skip;
      tail->start = strings[k].start;
      tail->length = strings[k].length;
    }
    mainInfo.selectedCount = static_cast<int>(strings.size());
  }

  std::string selectionWindow(int height) {
    return readable(
        merged([&] { showSelectionWindow(height, mainInfo.width, mainInfo.text, &head_); }));
  }

 private:
  std::string text_;
  std::string kinds_;
  Selection head_{};
  std::vector<Selection*> selections_{nullptr};
};

TEST_F(Grid, WindowMovesUpAtTheEndOfTheText) {
  EXPECT_EQ(hitWindow(3, 95, 96, 4, "ab"),
            "[skip=3, string=(95,96,98), top=61, return=10]\n"
            "ijklmnopqr\n"
            "stuvwxyzab\n"
            "cdefghijkl\n"
            "mnop<q>rs<t>uv\n");
}

// A skip equal to the width is not below it: the rows are skip long and the
// start's column places the window, which for an even number of letters is
// not the center's.
TEST_F(Grid, HitWhoseSkipEqualsTheWidthIsPlacedByItsStartColumn) {
  const struct {
    const char* pattern;
    int center;
    const char* expected;
  } cases[] = {{"abcd", 27,
                "[skip=10, string=(12,27,42), top=-3, return=10]\n"
                "    abcdef\n"
                "ghijk<l>mnop\n"
                "qrstu<v>wxyz\n"
                "abcde<f>ghij\n"},
               {"abc", 22,
                "[skip=10, string=(12,22,32), top=-3, return=10]\n"
                "    abcdef\n"
                "ghijk<l>mnop\n"
                "qrstu<v>wxyz\n"
                "abcde<f>ghij\n"}};
  for (const auto& c : cases) {
    EXPECT_EQ(hitWindow(10, 12, c.center, 4, c.pattern), c.expected) << c.pattern;
  }
}

TEST_F(Grid, ReturnLengthBelowTheWidthShowsOverlapHighlightedTwice) {
  fix(1, 8);
  EXPECT_EQ(hitWindow(3, 3, 7, 2, "abcd"),
            "[skip=3, string=(3,7,12), top=1, return=8]\n"
            "ab<c>de<f>gh<i>j\n"
            "<i>jk<l>mnopqr\n");
}

TEST_F(Grid, TextShorterThanTheWindowIsShownWholeFromTheTop) {
  setText(alphabet(15));
  EXPECT_EQ(hitWindow(3, 2, 6, 20, "abcd"),
            "[skip=3, string=(2,6,11), top=1, return=10]\n"
            "a<b>cd<e>fg<h>ij\n"
            "<k>lmno\n");
}

TEST_F(Grid, DoubleByteCharacterCutByAnEdgeShowsAsBlank) {
  // Positions 3-4 and 11-12 hold one double-byte character each.
  setText(
      "ab\x82\xa0"
      "efghij\x82\xa0"
      "mnopqrst",
      "00120000001200000000");
  mainInfo.width = 4;
  fix(4, 4);
  EXPECT_EQ(hitWindow(1, 18, 18, 3, "ab"),
            "[skip=1, string=(18,18,19), top=4, return=4]\n"
            " efg\n"
            "hij \n"
            " mno\n");
  // Highlighted, the same trail byte is written as it is.
  EXPECT_EQ(hitWindow(1, 4, 4, 3, "a"),
            "[skip=1, string=(4,4,4), top=4, return=4]\n"
            "<\xa0>efg\n"
            "hij \n"
            " mno\n");
  // Away from the edges both halves are written.
  fix(2, 4);
  EXPECT_EQ(hitWindow(1, 18, 18, 2, "ab"),
            "[skip=1, string=(18,18,19), top=2, return=4]\n"
            "b\x82\xa0"
            "e\n"
            "fghi\n");
}

TEST_F(Grid, TabShowsAsBlankUnlessHighlighted) {
  setText("ab\tde\tghij");
  fix(1, 10);
  EXPECT_EQ(hitWindow(3, 3, 4, 2, "ab"),
            "[skip=3, string=(3,4,6), top=1, return=10]\n"
            "ab<\t>de<\t>ghij\n");
  EXPECT_EQ(hitWindow(1, 1, 1, 2, "ab"),
            "[skip=1, string=(1,1,2), top=1, return=10]\n"
            "<a><b> de ghij\n");
}

TEST_F(Grid, OnlyTheFirst256LettersOfALongStringAreHighlighted) {
  setText(alphabet(600));
  fix(251, 10);
  EXPECT_EQ(hitWindow(1, 1, 150, 2, std::string(300, 'x')),
            "[skip=1, string=(1,150,256), top=251, return=10]\n"
            "<q><r><s><t><u><v>wxyz\n"
            "abcdefghij\n");
}

TEST_F(Grid, EmptySearchStringHighlightsNothingAndShowsTheStartAsLast) {
  EXPECT_EQ(hitWindow(3, 20, 24, 2, ""),
            "[skip=3, string=(20,24,20), top=9, return=10]\n"
            "ijklmnopqr\n"
            "stuvwxyzab\n");
}

TEST_F(Grid, SelectionWindowIsPlacedAroundTheFirstString) {
  select({{3, 90, 3, nullptr}, {2, 80, 4, nullptr}});
  EXPECT_EQ(selectionWindow(4),
            "[top=68, return=10]\n"
            "pqrstuvwxy\n"
            "za<b>c<d>e<f>g<h>i\n"
            "jk<l>mn<o>pq<r>s\n"
            "tuv\n");
  EXPECT_EQ(selectionWindow(6),
            "[top=48, return=10]\n"
            "vwxyzabcde\n"
            "fghijklmno\n"
            "pqrstuvwxy\n"
            "za<b>c<d>e<f>g<h>i\n"
            "jk<l>mn<o>pq<r>s\n"
            "tuv\n");
}

TEST_F(Grid, SelectionWindowInAFixedAreaMovesUpNearTheEnd) {
  fix(95, 10);
  select({{3, 80, 3, nullptr}});
  EXPECT_EQ(selectionWindow(3),
            "[top=75, return=10]\n"
            "wxyza<b>cd<e>f\n"
            "g<h>ijklmnop\n"
            "qrstuv\n");
}

TEST_F(Grid, SelectionWindowMarksLettersInItsLastColumn) {
  fix(1, 10);
  select({{10, 10, 3, nullptr}});
  EXPECT_EQ(selectionWindow(3),
            "[top=1, return=10]\n"
            "abcdefghi<j>\n"
            "klmnopqrs<t>\n"
            "uvwxyzabc<d>\n");
}

TEST_F(Grid, SelectionWindowMarksAnOverlappingLetterInTheUpperRowOnly) {
  fix(1, 8);
  select({{3, 3, 4, nullptr}});
  EXPECT_EQ(selectionWindow(2),
            "[top=1, return=8]\n"
            "ab<c>de<f>gh<i>j\n"
            "ijk<l>mnopqr\n");
}

TEST_F(Grid, SelectionWindowWritesTabsButBlanksCutDoubleByteHalves) {
  setText(
      "\tb\x82\xa0"
      "efg\x82\xa0"
      "jklmnopqrs\t",
      "00120001200000000000");
  mainInfo.width = 4;
  fix(1, 4);
  select({{1, 2, 1, nullptr}});
  EXPECT_EQ(selectionWindow(5),
            "[top=1, return=4]\n"
            "\t<b>\x82\xa0\n"
            "efg \n"
            " jkl\n"
            "mnop\n"
            "qrs\t\n");
}

}  // namespace
