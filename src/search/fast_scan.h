// The joined scan behind findSequences: instead of trying every start
// position of every skip, it starts from the occurrences of the rarest letter
// of the search string (the anchors) and, per anchor, either pairs it with
// the occurrences of the second rarest letter whose distance gives a skip, or
// tests 56 to 512 skips at once against bit maps of the other letters. Its output
// (hits, marks, result) is the plain loop's.
//
// The roles, one file each: scan_tuning.h (the sizes that shape the work)
// and mask_steps.h (the widths of the masks' steps), letter_index.h (the
// anchors, partners, maps and checks), join.h (the two join methods over one
// block and one range of anchors), block_sizing.h (which skips a block takes
// and which anchors fit), block_hits.h (one thread's hits of a block,
// grouped by skip), scan_team.h (the threads), and fast_scan.cc, which runs
// the blocks in order and appends their hits and marks.
#ifndef SRC_SEARCH_FAST_SCAN_H_
#define SRC_SEARCH_FAST_SCAN_H_

#include "search/scan_job.h"
#include "search/scan_tuning.h"

class HitList;

// Appends every hit of job to list (empty) in the plain loop's order,
// writing the same progress marks, each once every skip before it is done.
// Skips are joined in blocks, each with its mark written before it and the
// marks inside it written as its hits are appended. Polls interrupted during
// the set-up, before every block, before every anchor and right after every
// mark. Once it sees it set, it stops at a skip s, dropping a block under
// way: the list holds exactly the hits of the skips below s and the marks up
// to s's are written, which is what the plain loop keeps when stopped at s's
// first position. Uses every core when the work is large, and the sizes and
// choices of fastScanTuning. Leaves the flags alone. Runs on the thread that
// runs the command loop.
void fastScan(const ScanJob& job, HitList* list);

#endif  // SRC_SEARCH_FAST_SCAN_H_
