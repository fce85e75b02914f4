// The joined scan behind findSequences: instead of trying every start
// position of every skip, it starts from the occurrences of the rarest letter
// of the search string (the anchors) and, per anchor, either pairs it with
// the occurrences of the second rarest letter whose distance gives a skip, or
// tests 56 to 512 skips at once against bit maps of the other letters. Its output
// (hits, marks, result) is the plain loop's.
//
// The roles, one file each: letter_index.h (the anchors, partners, maps and
// checks), join.h (the two join methods over one block and one range of
// anchors), block_sizing.h (which skips a block takes and which anchors fit),
// block_hits.h (one thread's hits of a block, grouped by skip), scan_team.h
// (the threads), and fast_scan.cc, which runs the blocks in order and appends
// their hits and marks.
#ifndef SRC_SEARCH_FAST_SCAN_H_
#define SRC_SEARCH_FAST_SCAN_H_

#include "search/scan_job.h"

class HitList;

// Appends every hit of job to list (empty) in the plain loop's order,
// writing the same progress marks, each once every skip before it is done.
// Skips are joined in blocks, each with its mark written before it and the
// marks inside it written as its hits are appended. Polls interrupted during
// the set-up, before every block, before every anchor and right after every
// mark. Once it sees it set, it stops at a skip s, dropping a block under
// way: the list holds exactly the hits of the skips below s and the marks up
// to s's are written, which is what the plain loop keeps when stopped at s's
// first position. Uses every core when the work is large. Leaves the flags
// alone. Runs on the thread that runs the command loop.
void fastScan(const ScanJob& job, HitList* list);

enum class JoinMethod {
  kCheapest,  // whichever the letter counts say costs less
  kPairs,     // anchor and partner occurrences paired by their distance
  kMasks,     // many skips per anchor at once, against bit maps
};

// The skips that one step of the masks tests, by the instructions it takes.
enum class MaskStep {
  kPlain,   // 56, in 64-bit integers
  kAvx2,    // 256, in AVX2 vectors
  kAvx512,  // 512, in AVX-512 vectors with the VBMI2 double shifts
};

// Null when this build and the processor take steps of the given width;
// else why they do not, in a few words ("the processor lacks AVX2"). Safe
// from any thread.
const char* maskStepMissing(MaskStep step);

// The most pairs that the pairs join screens in one batch.
inline constexpr int kMaxPairsPerBatch = 256;

// Choices and sizes that shape the work without changing its result; tests
// change them to reach, on short texts, the paths that long texts take.
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
extern FastScanTuning fastScanTuning;

#endif  // SRC_SEARCH_FAST_SCAN_H_
