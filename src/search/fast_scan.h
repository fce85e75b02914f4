// The joined scan behind findSequences: it starts from the occurrences of
// the string's rarest letter (the anchors) and pairs each with the second
// rarest letter's by distance, or tests many skips at once against bit maps
// of the other letters; its hits, marks and result are the plain loop's.
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
