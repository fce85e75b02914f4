// The joined scan behind findSequences: instead of trying every start
// position of every skip, it starts from the occurrences of the rarest letter
// of the search string (the anchors) and, per anchor, either pairs it with
// the occurrences of the second rarest letter whose distance gives a skip, or
// tests 56 skips at once against bit maps of the other letters. Its output
// (hits, marks, result) is the plain loop's.
#ifndef SRC_SEARCH_FAST_SCAN_H_
#define SRC_SEARCH_FAST_SCAN_H_

#include "search/scan_job.h"

struct Hit;

// Appends every hit of job behind head (an empty list: skip -1, next null)
// in the plain loop's order, writing the same progress marks, each once every
// skip before it is done. Skips are joined in blocks, each with its mark
// written before it and the marks inside it written as its hits are linked.
// Polls interrupted during the set-up, before every block, before every
// anchor letter and right after every mark. Once it sees it set, it stops at
// a skip s, dropping a block under way: the list holds exactly the hits of
// the skips below s and the marks up to s's are written, which is what the
// plain loop keeps when stopped at s's first position. Uses a second thread
// when the work is large. Leaves the flags alone.
void fastScan(const ScanJob& job, Hit* head);

enum class JoinMethod {
  kCheapest,  // whichever the letter counts say costs less
  kPairs,     // anchor and partner occurrences paired by their distance
  kMasks,     // 56 skips per anchor at once, against bit maps
};

// Choices and sizes that shape the work without changing its result; tests
// change them to reach, on short texts, the paths that long texts take.
struct FastScanTuning {
  JoinMethod method;
  int max_block_skips;      // most skips joined in one block; 1 or more
  long long block_work;     // work a block aims at (a few milliseconds), in
                            // units of one screened pair
  long long parallel_work;  // estimated work of a whole scan from which a
                            // second thread joins half of every block
};

// Starts at sizes that suit long texts; the program never changes them.
extern FastScanTuning fastScanTuning;

#endif  // SRC_SEARCH_FAST_SCAN_H_
