// The joined scan's tuning: choices and sizes that shape its work without
// changing its result. The program keeps the sizes that suit long texts;
// tests change them to reach, on short texts, the paths that long texts
// take.
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
  long long block_work;     // work a block aims at (about a tenth of a
                            // second), in units of one screened pair
  long long block_hits;     // most hits a block aims at
  long long parallel_work;  // estimated work of a whole scan from which
                            // further threads share every block
  int threads;              // threads when they are used; 0: one per core
                            // (machineScanThreads)
  MaskStep widest_step;     // the widest steps of the masks, taken where
                            // the processor has them (maskStepMissing),
                            // else the next narrower
  int pairs_per_batch;      // pairs screened in one batch of the pairs
                            // join, 1 to kMaxPairsPerBatch
  int positions_per_poll;   // positions that a pass over the text reads
                            // between two polls; 1 or more
};

// Starts at sizes that suit long texts; the program never changes them.
// Read by the scan's calling thread when a scan starts; tests set it
// between scans only.
extern FastScanTuning fastScanTuning;

#endif  // SRC_SEARCH_SCAN_TUNING_H_
