// Blocks of the joined scan: the skips are joined a run at a time, [first,
// end), and this file says which anchors a block covers, up to which skip
// each anchor's start fits, and how large the next block is.
//
// Threads: a Block is made by the scan's calling thread before the block is
// joined and only read while it is joined, by every joining thread.
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
// start + (pattern_len - 1) x skip is within the text.
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

// Skips of the block after one that cost last: the size at which a block
// would cost tuning.block_work, at most 8 times the last size, and not
// below mark_step (so that at most about 30 blocks cover the skips however
// long the text: each joined anchor has a fixed cost per block, and blocks
// that shrank as the text grew would make the cost grow with the square of
// its length); then lowered to where a block would find tuning.block_hits
// hits, which bounds the memory of a block's hits; all within
// tuning.min_block_skips and tuning.max_block_skips (the maximum wins).
int nextBlockSize(const BlockCost& last, int mark_step, const FastScanTuning& tuning);

#endif  // SRC_SEARCH_BLOCK_SIZING_H_
