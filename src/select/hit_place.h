// Where hits and selected strings stand in the text file (the command r):
// the line, byte column and label of their first and last letters.
#ifndef SRC_SELECT_HIT_PLACE_H_
#define SRC_SELECT_HIT_PLACE_H_

#include "core/main_info.h"

class HitList;

// Writes where hit number (as the listing numbers it) stands:
// "... N: start S at line L column C, end E at line L column C\n", each half
// with " [LABEL]" after its column when lineLabels is set. An invalid number
// is answered as p answers it. Returns 0, or -1 when nothing was found.
int placeHit(int number, const HitList* forward_hits, const HitList* backward_hits);

// The same line for each selected string, numbered from 1 in the order of
// the selection, or "... no selected string\n" when there is none. Stops at
// the first string whose place cannot be found. Returns 0 or -1.
int placeSelections(const Selection* selections);

#endif  // SRC_SELECT_HIT_PLACE_H_
