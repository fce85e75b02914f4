// The arithmetic of the grid and of the hit triples on the longest text the
// loader accepts. No such text is built: these computations need only its
// length. The sanitizer build traps any int overflow on the way.

#include <gtest/gtest.h>

#include <climits>

#include "core/main_info.h"
#include "display/grid.h"
#include "search/hits.h"
#include "text/loader.h"

namespace {

constexpr int kLast = kMaxTextLen;  // 2147479551

class LargestText : public testing::Test {
 protected:
  void SetUp() override {
    resetMainInfo();
    mainInfo.textLen = kLast;
  }
  void TearDown() override { resetMainInfo(); }
};

// The furthest position drawRows computes for a window: one past the last
// cell of its last row.
long long furthestPosition(const WindowGeometry& g) {
  return static_cast<long long>(g.lastRow) * g.rowLen + g.lastCol + 1;
}

TEST_F(LargestText, HitTriplesAtTheEndKeepTheirCenter) {
  const HitTriple forward = forwardTriple(1, kLast - 1, 2);
  EXPECT_EQ(forward.start, kLast - 1);
  EXPECT_EQ(forward.center, kLast - 1);
  EXPECT_EQ(forward.end, kLast);
  // Backward position 1 is the text's last byte.
  const HitTriple backward = backwardTriple(1, 1, 2, kLast);
  EXPECT_EQ(backward.start, kLast - 1);
  EXPECT_EQ(backward.center, kLast - 1);
  EXPECT_EQ(backward.end, kLast);
  const HitTriple widest = forwardTriple(kLast - 1, 1, 2);
  EXPECT_EQ(widest.center, 1073739776);
}

TEST_F(LargestText, WindowAroundTheLastHitMovesUpFromTheEnd) {
  // Center kLast - 1 stands in row 2097147, column 1021.
  const WindowGeometry g = placeWindow(1, kLast - 1, kLast - 1, 1024, 1024);
  EXPECT_EQ(g.rowLen, 1024);
  EXPECT_EQ(g.firstCol, 509);
  EXPECT_EQ(g.lastCol, 1532);
  EXPECT_EQ(g.lastRow, 2097147);
  EXPECT_EQ(g.firstRow, 2097147 - 1023);
  EXPECT_EQ(g.top, 2096124 * 1024 + 510);
  EXPECT_LE(furthestPosition(g), INT_MAX);
}

TEST_F(LargestText, WindowOfTheWidestSkipHasRowsAsLongAsTheText) {
  const WindowGeometry g = placeWindow(kLast - 1, 1, 1073739776, 1024, 1024);
  EXPECT_EQ(g.rowLen, kLast - 1);
  EXPECT_EQ(g.firstRow, 0);
  EXPECT_EQ(g.lastRow, 1);
  EXPECT_EQ(g.firstCol, -512);
  EXPECT_EQ(g.top, -511);
  EXPECT_LE(furthestPosition(g), INT_MAX);
}

TEST_F(LargestText, FixedAreaAtTheLastPositionWithTheLongestRow) {
  mainInfo.topPos = kLast;
  mainInfo.returnLen = INT_MAX;
  const WindowGeometry g = placeWindow(1, 1, 1, 1024, 1024);
  EXPECT_EQ(g.firstRow, 0);
  EXPECT_EQ(g.lastRow, 0);
  EXPECT_EQ(g.firstCol, kLast - 1);
  EXPECT_EQ(g.lastCol, kLast + 1022);
  EXPECT_EQ(g.top, kLast);
  EXPECT_LE(furthestPosition(g), INT_MAX);
}

}  // namespace
