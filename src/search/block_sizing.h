// Blocks of the joined scan, the runs of skips joined at once: which
// anchors a block covers, up to which skip each anchor's start fits, and how
// large the next block is.
#ifndef SRC_SEARCH_BLOCK_SIZING_H_
#define SRC_SEARCH_BLOCK_SIZING_H_

#include <vector>

#include "search/scan_tuning.h"

// The sizes of a string and a text that a block's bounds depend on.
struct BlockShape {
  int text_len;      // 2 to INT_MAX
  int pattern_len;   // 2 to 4095
  int anchor_index;  // index in the string of the anchor letter
};

// A run of skips joined at once, [first, end). An anchor x stands at
// start + anchor_index x skip, and a start fits when it is at least 0 and
// start + (pattern_len - 1) x skip is within the text. Made by the scan's
// calling thread before the block is joined, and only read while it is
// joined, by every joining thread.
struct Block {
  BlockShape shape;
  int first;
  int end;
  // Indexes into the anchors: anchors[anchors_begin, anchors_end) have a
  // start that fits at the block's first skip.
  int anchors_begin;
  int anchors_end;
  // Positions in the text: anchors from full_pos_lo to full_pos_hi
  // (inclusive) have a start that fits at every skip of the block.
  int full_pos_lo;
  int full_pos_hi;

  // The highest skip of the block at which anchor x (a position) has a
  // start that fits; below first when it has none.
  int lastSkip(int x) const {
    return x >= full_pos_lo && x <= full_pos_hi ? end - 1 : lastSkipNearAnEnd(x);
  }

  // The same for an anchor outside [full_pos_lo, full_pos_hi].
  int lastSkipNearAnEnd(int x) const;
};

// The block of the skips [first, end) over the ascending anchor positions.
// REQUIRES: 1 <= first < end, and end - 1 at most the highest skip at which
// the string fits the text.
Block makeBlock(const BlockShape& shape, const std::vector<int>& anchors, int first, int end);

// What the last block cost, all threads together.
struct BlockCost {
  int skips;
  long long work;  // in units of one screened pair
  long long hits;
};

// Skips of the first block.
int firstBlockSize(const FastScanTuning& tuning);

// The unit in which the join takes a block's skips: skips at a time (1 for
// the pairs join; a width's skips for the masks', whose last step in a
// block costs a whole one however few skips it has left), and at least
// least_units of them a block (1 or more).
struct JoinUnit {
  int skips;
  int least_units;
};

// What the sizes of a scan's blocks follow besides the tuning.
struct BlockSizeRules {
  int mark_interval;  // skips between two progress marks; 0 or below: none
  JoinUnit unit;      // the join's
  int text_len;
};

// Text bytes per hit that a block may hold on a long text, beyond the
// tuning's block_hits: a block's hits take 8 bytes each until they are
// copied into the list, so at most an eighth of the text's size.
inline constexpr int kTextBytesPerBlockHit = 64;

// Skips of the block after one that cost last: the size at which a block
// would cost tuning.block_work, at most 8 times the last size, and not
// below the mark interval (so that at most about 30 blocks cover the skips
// however long the text: each joined anchor has a fixed cost per block,
// and blocks that shrank as the text grew would make the cost grow with
// the square of its length); then rounded to whole units, at least
// rules.unit.least_units of them; then lowered to where a block would find
// tuning.block_hits hits, or one per kTextBytesPerBlockHit bytes of the
// text if that is more (which bounds the memory of a block's hits without
// making blocks shrink as the text grows); all within
// tuning.min_block_skips and tuning.max_block_skips (the maximum wins).
int nextBlockSize(const BlockCost& last, const BlockSizeRules& rules, const FastScanTuning& tuning);

#endif  // SRC_SEARCH_BLOCK_SIZING_H_
