// Block sizes and bounds: blocks must grow on long texts whatever a skip
// costs, and every bound must hold up to texts of the largest int.
#include "search/block_sizing.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "core/hit_triple.h"
#include "search/letter_index.h"
#include "search/scan_tuning.h"

namespace {

const FastScanTuning kTuning = {JoinMethod::kCheapest,
                                56,
                                1 << 13,
                                1LL << 26,
                                1LL << 18,
                                1LL << 22,
                                0,
                                MaskStep::kPlain,
                                kMaxPairsPerBatch,
                                kPositionsPerPoll};

// The pairs join's steps, and a text too short to raise the block's hits.
constexpr BlockSteps kOneSkip = {1, 1};
constexpr int kShortText = 1000;

TEST(NextBlockSize, GrowsWhenOneSkipAloneCostsMoreThanABlock) {
  // A rarest letter with 3 million occurrences: one skip of the masks costs
  // 10 units an anchor, about half of a block's work.
  const BlockCost one_skip = {1, 3'000'000LL * 10, 0};
  EXPECT_GE(nextBlockSize(one_skip, {0, kOneSkip, kShortText}, kTuning), 56);
  // With a mark every 333 skips, blocks reach the next mark.
  EXPECT_GE(nextBlockSize(one_skip, {333, kOneSkip, kShortText}, kTuning), 333);
  // Twenty times the work still does not shrink a block below the minimum.
  const BlockCost dense = {56, 60'000'000LL * 10, 0};
  EXPECT_EQ(nextBlockSize(dense, {0, kOneSkip, kShortText}, kTuning), 56);
}

TEST(NextBlockSize, CheapBlocksGrowEightfoldUpToTheMaximum) {
  EXPECT_EQ(nextBlockSize({56, 1000, 0}, {0, kOneSkip, kShortText}, kTuning), 448);
  EXPECT_EQ(nextBlockSize({4096, 1000, 0}, {0, kOneSkip, kShortText}, kTuning), 1 << 13);
  EXPECT_EQ(nextBlockSize({56, 0, 0}, {0, kOneSkip, kShortText}, kTuning), 448);
}

TEST(NextBlockSize, ManyHitsKeepBlocksSmallButNotBelowTheMinimum) {
  // A million hits in 1000 skips: 262 skips make a block's worth of hits,
  // even though the marks come every 5000 skips.
  EXPECT_EQ(nextBlockSize({1000, 1000, 1'000'000}, {5000, kOneSkip, kShortText}, kTuning), 262);
  EXPECT_EQ(nextBlockSize({56, 1000, 100'000'000}, {5000, kOneSkip, kShortText}, kTuning), 56);
}

// A block's last step of the masks costs a whole one, however few skips it
// has left.
TEST(NextBlockSize, MasksTakeWholeStepsAndAtLeastTheJoinsLeast) {
  constexpr BlockSteps kSteps512 = {512, 2};
  // A mark every 333 skips asks for a third of a step more than one.
  EXPECT_EQ(nextBlockSize({512, 1LL << 40, 0}, {333, kSteps512, kShortText}, kTuning), 1024);
  // Work for 1331 skips, 2.6 steps: three of them.
  EXPECT_EQ(nextBlockSize({1000, 50'419'866, 0}, {0, kSteps512, kShortText}, kTuning), 1536);
}

// 1024 hits a skip: 2^18 hits a block on a short text; on a text of 2^30
// bytes one per 64 of them, and the blocks no longer shrink.
TEST(NextBlockSize, LongTextsHoldMoreHitsABlock) {
  constexpr BlockSteps kSteps512 = {512, 2};
  const BlockCost dense = {1024, 1, 1 << 20};
  EXPECT_EQ(nextBlockSize(dense, {0, kSteps512, kShortText}, kTuning), 256);
  EXPECT_EQ(nextBlockSize(dense, {0, kSteps512, 1 << 30}, kTuning), 1 << 13);
}

// A block's hits take 8 bytes each until they are copied into the list. On
// a long text they may take up to an eighth of its size, whatever a skip
// finds: never more, and not much less either, or blocks would shrink as
// the text grows. The minimum and the maximum are out of the way here, as a
// block of 1024 skips would grow eightfold.
TEST(NextBlockSize, HitsOfABlockOnALongTextTakeAnEighthOfItsSize) {
  FastScanTuning unbounded = kTuning;
  unbounded.min_block_skips = 1;
  unbounded.max_block_skips = INT_MAX;
  for (const long long text_len : {1LL << 26, 1LL << 28, 1LL << 30, 0LL + INT_MAX}) {
    for (const long long per_skip : {1LL << 13, 1LL << 16}) {
      const BlockCost last = {1024, 1, 1024 * per_skip};
      const long long next =
          nextBlockSize(last, {0, kOneSkip, static_cast<int>(text_len)}, unbounded);
      const long long bytes = next * per_skip * 8;
      EXPECT_LE(bytes, text_len / 8) << text_len << " bytes, " << per_skip << " hits a skip";
      EXPECT_GT(bytes, text_len / 16) << text_len << " bytes, " << per_skip << " hits a skip";
    }
  }
}

TEST(NextBlockSize, TheMaximumWinsOverTheMinimum) {
  FastScanTuning one = kTuning;
  one.max_block_skips = 1;
  EXPECT_EQ(firstBlockSize(one), 1);
  EXPECT_EQ(nextBlockSize({1, 1, 0}, {333, kOneSkip, kShortText}, one), 1);
  FastScanTuning whole = kTuning;
  whole.min_block_skips = INT_MAX;
  whole.max_block_skips = INT_MAX;
  EXPECT_EQ(firstBlockSize(whole), INT_MAX);
  EXPECT_EQ(nextBlockSize({INT_MAX, LLONG_MAX, LLONG_MAX}, {0, kOneSkip, kShortText}, whole),
            INT_MAX);
}

// A text of INT_MAX bytes, never allocated: only positions are computed.
TEST(Block, BoundsHoldForATextOfTheLargestInt) {
  // Two letters, anchored on the first: the last fitting skip is
  // INT_MAX - 1, where only the start at position 0 fits.
  const std::vector<int> anchors = {0, 5, INT_MAX - 2, INT_MAX - 1};
  Block block = makeBlock({INT_MAX, 2, 0}, anchors, INT_MAX - 1, INT_MAX);
  EXPECT_EQ(block.anchors_begin, 0);
  EXPECT_EQ(block.anchors_end, 1);
  EXPECT_EQ(block.lastSkip(0), INT_MAX - 1);
  // Skip 1: every anchor but the last byte's fits.
  block = makeBlock({INT_MAX, 2, 0}, anchors, 1, 2);
  EXPECT_EQ(block.anchors_end, 3);
  EXPECT_EQ(block.lastSkip(INT_MAX - 2), 1);
  // Three letters anchored on the middle one, over every skip at once.
  const int last = (INT_MAX - 1) / 2;
  block = makeBlock({INT_MAX, 3, 1}, {last, INT_MAX - 2}, 1, last + 1);
  EXPECT_EQ(block.lastSkip(last), last);
  EXPECT_EQ(block.lastSkip(INT_MAX - 2), 1);
}

TEST(ForEachPosition, VisitsTheLastPositionsOfTheLargestText) {
  const int from = INT_MAX - 3 * kPositionsPerPoll / 2;
  long long visited = 0;
  int last = 0;
  EXPECT_TRUE(forEachPosition(from, INT_MAX, kPositionsPerPoll, [&](int pos) {
    ++visited;
    last = pos;
  }));
  EXPECT_EQ(visited, INT_MAX - from);
  EXPECT_EQ(last, INT_MAX - 1);
}

TEST(Divider, IsExactUpToTheLargestInt) {
  for (int divisor = 1; divisor <= 4096; ++divisor) {
    const Divider by(divisor);
    for (int x : {0, divisor - 1, divisor, INT_MAX - divisor, INT_MAX - 1, INT_MAX}) {
      ASSERT_EQ(by.quotient(x), x / divisor) << x << " / " << divisor;
    }
  }
}

TEST(HitTriple, CentersOfHitsNearTheEndOfTheLargestText) {
  const HitTriple forward = forwardTriple(5, INT_MAX - 10, 3);
  EXPECT_EQ(forward.end, INT_MAX);
  EXPECT_EQ(forward.center, INT_MAX - 5);
  const HitTriple backward = backwardTriple(5, 1, 3, INT_MAX);
  EXPECT_EQ(backward.start, INT_MAX - 10);
  EXPECT_EQ(backward.center, INT_MAX - 5);
  EXPECT_EQ(backward.end, INT_MAX);
}

}  // namespace
