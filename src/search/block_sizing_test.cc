// Block sizes as a scan meets them: about thirty blocks or fewer whatever
// the text's length, whole units of the join, a bounded count of hits a
// block, and bounds that hold up to texts of the largest int.
#include "search/block_sizing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "search/scan_job.h"
#include "search/scan_tuning.h"

namespace {

constexpr JoinUnit kOneSkip = {1, 1};  // the pairs join's
constexpr int kSkipLimit = 10000;
constexpr int kMarkInterval = kSkipLimit / kMarksPerScan;

// The sizes of the blocks that cover the skips 1 to max_skip when every
// skip costs work_per_skip and finds hits_per_skip, as the joined scan sizes
// them one after another.
std::vector<int> blockSizes(long long work_per_skip, long long hits_per_skip, int max_skip,
                            const BlockSizeRules& rules,
                            const FastScanTuning& tuning = kLongTextTuning) {
  std::vector<int> sizes;
  int size = firstBlockSize(tuning);
  for (long long skip = 1; skip <= max_skip;) {
    const int block = static_cast<int>(std::min<long long>(size, max_skip + 1 - skip));
    sizes.push_back(block);
    size = nextBlockSize({block, work_per_skip * block, hits_per_skip * block}, rules, tuning);
    skip += block;
  }
  return sizes;
}

// A skip's work on a text of text_len bytes: a rarest letter in one byte
// of 20, each of its anchors costing 10 units a skip.
long long workPerSkip(long long text_len) { return text_len / 20 * 10; }

TEST(BlockSizes, ThirtyOrSoBlocksCoverTheSkipsWhateverTheTextsLength) {
  for (const int text_len : {100'000, 3'222'423, 51'558'768, INT_MAX}) {
    const BlockSizeRules rules = {kMarkInterval, kOneSkip, text_len};
    const std::vector<int> sizes = blockSizes(workPerSkip(text_len), 0, kSkipLimit, rules);
    EXPECT_LE(sizes.size(), std::size_t{kMarksPerScan + 2}) << text_len;
    // The marks alone do not make blocks small: no block but the first and
    // the last is below the mark interval.
    for (std::size_t k = 1; k + 1 < sizes.size(); ++k) {
      EXPECT_GE(sizes[k], kMarkInterval) << text_len << ", block " << k;
    }
  }
}

TEST(BlockSizes, CheapBlocksGrowAtMostEightfoldUpToTheMaximum) {
  const std::vector<int> sizes = blockSizes(1, 0, 100'000, {0, kOneSkip, 1000});
  ASSERT_GT(sizes.size(), 3u);
  for (std::size_t k = 1; k < sizes.size(); ++k) {
    EXPECT_LE(sizes[k], 8 * sizes[k - 1]) << k;
    EXPECT_LE(sizes[k], kLongTextTuning.max_block_skips) << k;
  }
  EXPECT_EQ(sizes[sizes.size() - 2], kLongTextTuning.max_block_skips);
}

TEST(BlockSizes, SettleWhereABlockCostsTheTuningsWork) {
  const long long work_per_skip = kLongTextTuning.block_work / 300;
  const std::vector<int> sizes = blockSizes(work_per_skip, 0, 20'000, {0, kOneSkip, 1000});
  for (std::size_t k = 3; k + 1 < sizes.size(); ++k) {
    EXPECT_NEAR(static_cast<double>(sizes[k] * work_per_skip),
                static_cast<double>(kLongTextTuning.block_work), static_cast<double>(work_per_skip))
        << k;
  }
}

// A step of the masks costs a whole one however few of its skips a block
// has left, so blocks hold whole steps (but at the tuning's maximum, which
// wins), and at least the join's least.
TEST(BlockSizes, MasksBlocksHoldWholeStepsAndAtLeastTheJoinsLeast) {
  for (const MaskWidthRow& row : kMaskWidths) {
    const JoinUnit unit = {row.skips, 2};
    for (const int mark_interval : {0, kMarkInterval, row.skips + row.skips / 3}) {
      for (const long long work_per_skip : {1LL, 10'000LL, 1'000'000LL, 1LL << 30}) {
        const std::vector<int> sizes =
            blockSizes(work_per_skip, 0, 40'000, {mark_interval, unit, 1000});
        for (std::size_t k = 1; k + 1 < sizes.size(); ++k) {
          if (sizes[k] < kLongTextTuning.max_block_skips) {
            EXPECT_EQ(sizes[k] % row.skips, 0) << row.skips << ", block " << k;
          }
          EXPECT_GE(sizes[k], 2 * row.skips) << row.skips << ", block " << k;
          EXPECT_GE(sizes[k], mark_interval) << row.skips << ", block " << k;
        }
      }
    }
  }
}

// A block's hits wait in memory until they are copied into the list: they
// stay within the tuning's count, or one per kTextBytesPerBlockHit bytes of
// a long text, unless the fewest skips of a block already find more.
TEST(BlockSizes, HitsOfABlockStayBoundedAndDoNotShrinkBlocksOnLongTexts) {
  const JoinUnit unit = {maskWidthRow(MaskWidth::kAvx512).skips, 2};
  const int least = kLongTextTuning.min_block_skips;
  std::vector<int> short_sizes;
  for (const int text_len : {1000, 1 << 30}) {
    const long long most =
        std::max<long long>(kLongTextTuning.block_hits, text_len / kTextBytesPerBlockHit);
    for (const long long hits_per_skip : {100LL, 1024LL, 100'000LL}) {
      const std::vector<int> sizes =
          blockSizes(1, hits_per_skip, kSkipLimit, {kMarkInterval, unit, text_len});
      for (std::size_t k = 1; k < sizes.size(); ++k) {
        if (sizes[k] > least) {
          EXPECT_LE(sizes[k] * hits_per_skip, most) << text_len << ", " << k;
        }
      }
      if (hits_per_skip == 1024 && text_len == 1000) short_sizes = sizes;
      if (hits_per_skip == 1024 && text_len == 1 << 30) {
        EXPECT_GT(sizes[1], short_sizes[1]) << "a long text's blocks are no smaller";
      }
    }
  }
}

// With the minimum and the maximum out of the way, a block's hits on a long
// text take up to an eighth of the text's size, never more and not much less.
TEST(BlockSizes, HitsOfABlockOnALongTextTakeAnEighthOfItsSize) {
  FastScanTuning unbounded = kLongTextTuning;
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

TEST(BlockSizes, TheMaximumWinsOverTheMinimum) {
  FastScanTuning one = kLongTextTuning;
  one.max_block_skips = 1;
  EXPECT_EQ(firstBlockSize(one), 1);
  EXPECT_EQ(nextBlockSize({1, 1, 0}, {333, kOneSkip, 1000}, one), 1);
  FastScanTuning whole = kLongTextTuning;
  whole.min_block_skips = INT_MAX;
  whole.max_block_skips = INT_MAX;
  EXPECT_EQ(firstBlockSize(whole), INT_MAX);
  EXPECT_EQ(nextBlockSize({INT_MAX, LLONG_MAX, LLONG_MAX}, {0, kOneSkip, 1000}, whole), INT_MAX);
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

}  // namespace
