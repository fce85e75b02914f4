// The equidistant scan: every place where the search string stands in the
// text with its letters a fixed number of bytes (the skip) apart.
#ifndef SRC_SEARCH_SCAN_H_
#define SRC_SEARCH_SCAN_H_

#include "driver/main_info.h"

// Scans text for pattern at every skip from 1 to text length / (pattern
// length - 1), lowered to mainInfo.skipLimit unless all_skips is non-zero,
// and appends one hit per match to the list headed by head, by skip and then
// position ascending. Writes a row of progress marks through errmsg (none
// when the highest skip is below 30), or a refusal message for a text or
// string that is too short or a string of 4096 bytes or more. A Ctrl-C
// (interrupted) stops the scan and keeps the hits found so far. Returns 1
// when the list holds a hit, else 0. The caller frees the list's old nodes.
int findSequences(int all_skips, const char* pattern, const char* text, Hit* head);

#endif  // SRC_SEARCH_SCAN_H_
