// The joined scan's tuning: choices and sizes that shape its work without
// changing its result. The program keeps the sizes that suit long texts;
// tests change them through a ScopedTuning (util/scoped_tuning.h), to reach
// on short texts the paths that long texts take.
#ifndef SRC_SEARCH_SCAN_TUNING_H_
#define SRC_SEARCH_SCAN_TUNING_H_

#include "search/mask_steps.h"

enum class JoinMethod {
  kCheapest,  // whichever the letter counts say costs less
  kPairs,     // anchor and partner occurrences paired by their distance
  kMasks,     // many skips per anchor at once, against bit maps
};

// The most pairs that the pairs join screens in one batch.
inline constexpr int kMaxPairsPerBatch = 256;

// Positions a pass over the text reads between two polls (about 0.1 ms).
inline constexpr int kPositionsPerPoll = 1 << 16;

struct FastScanTuning {
  JoinMethod method;
  int min_block_skips;      // fewest skips joined in one block (but for the
                            // last); 1 or more
  int max_block_skips;      // most skips joined in one block; wins over the
                            // minimum
  long long block_work;     // work a block aims at, in units of one
                            // screened pair
  long long block_hits;     // most hits a block aims at
  long long parallel_work;  // estimated work of a part of the scan (the
                            // count of the letters: the text's length) from
                            // which threads share it (scanThreads)
  int threads;              // threads when they are used; 0: one per core
  MaskWidth widest_mask;    // the widest steps of the masks, taken where
                            // the processor has them (widestMaskWidth)
  int pairs_per_batch;      // pairs screened in one batch of the pairs
                            // join, 1 to kMaxPairsPerBatch
  int positions_per_poll;   // positions that a pass over the text reads
                            // between two polls; 1 or more
};

// The sizes that suit long texts.
inline constexpr FastScanTuning kLongTextTuning = {
    .method = JoinMethod::kCheapest,
    .min_block_skips = maskWidthRow(MaskWidth::kPortable).skips,
    .max_block_skips = 1 << 13,
    .block_work = 1LL << 28,  // about a tenth of a second
    .block_hits = 1LL << 18,
    .parallel_work = 1LL << 22,
    .threads = 0,
    .widest_mask = kMaskWidths[kMaskWidthCount - 1].width,
    .pairs_per_batch = kMaxPairsPerBatch,
    .positions_per_poll = kPositionsPerPoll,
};

// The tuning that scans take: kLongTextTuning in the program. Read by the
// scan's calling thread when a scan starts; changed between scans only.
extern FastScanTuning fastScanTuning;

#endif  // SRC_SEARCH_SCAN_TUNING_H_
