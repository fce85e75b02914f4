// The equidistant scan: every place where the search string stands in the
// text with its letters a fixed number of bytes (the skip) apart.
#ifndef SRC_SEARCH_SCAN_H_
#define SRC_SEARCH_SCAN_H_

#include "search/scan_job.h"

class HitList;

// Scans text for pattern at every skip from 1 to text length / (pattern
// length - 1), lowered to mainInfo.skipLimit unless all_skips is non-zero,
// and appends one hit per match to list, by skip and then position
// ascending. Writes a row of progress marks through errmsg (none
// when the highest skip is below 30), or a refusal message for a text or
// string that is too short or a string of 4096 bytes or more. A Ctrl-C
// (interrupted) stops the scan within a fraction of a second and keeps the
// hits found so far. Returns 1 when the list holds a hit, else 0, and leaves
// searching and interrupted at 0. Empties the list first.
//
// Runs the joined scan (search/fast_scan.h), which gives the same hits,
// marks, messages and result as the plain loop below; on Ctrl-C it keeps what
// the plain loop would have kept, had the Ctrl-C reached it at the first
// start position of some skip.
int findSequences(int all_skips, const char* pattern, const char* text, HitList* list);

// The same scan as the plain double loop: every skip, every start position,
// polling interrupted before each position. Kept as the reference that the
// joined scan is tested and measured against.
int findSequencesPlain(int all_skips, const char* pattern, const char* text, HitList* list);

// The plain loop over one skip: tries every start position of skip in
// ascending order, polling interrupted before each, and appends every match
// to list (setting *found when it appends). Returns false as soon as it sees
// interrupted set; the hits appended until then stay. The benchmark times
// samples of skips with it.
bool plainScanSkip(const ScanJob& job, int skip, HitList* list, bool* found);

#endif  // SRC_SEARCH_SCAN_H_
