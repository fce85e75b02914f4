// Hit lookup and the selection: turns a hit number of the last search's
// listing into a string of the text, shows it or keeps it, and lists and
// deletes the kept strings. The span fields of mainInfo (areaStart, areaEnd,
// centerMin, centerMax) are kept here.
#ifndef SRC_SELECT_SELECTION_H_
#define SRC_SELECT_SELECTION_H_

#include "core/main_info.h"

class HitList;
struct HitTriple;

// pickHit's modes; any mode other than kShowHit selects.
inline constexpr int kSelectHit = 0;
inline constexpr int kShowHit = 1;

// Finds hit number (1 to forwardCount along the forward list, then on along
// the backward list) and sets *skip and *triple to its skip and its triple in
// forward terms. An invalid number writes the messages of pickHit and returns
// false.
bool lookUpHit(int number, const HitList* forward_hits, const HitList* backward_hits, int* skip,
               HitTriple* triple);

// Finds hit number (1 to forwardCount along the forward list, then on along
// the backward list, as the listing numbers them), without walking the hits
// before it. An invalid number writes
// "... %d: invalid number; (1 - %d) available\n", or "... none of searched
// string\n" when there are no hits, and returns -1.
// kShowHit: draws the hit with showHitWindow and returns its result;
// selections is not used. Otherwise: updates the span fields, writes
// "... selected string area = (%d,%d)\n", stores the hit in forward terms in
// the record at index mainInfo.selectedCount of the chain from selections
// (allocating it with getmem when the chain is that short; records are never
// freed) and returns 0. The caller then raises mainInfo.selectedCount.
int pickHit(int mode, int number, const HitList* forward_hits, const HitList* backward_hits,
            Selection* selections);

// The command s alone: empties the selection and its span and writes
// "... selected strings were ommited!\n". The records stay for reuse.
void dropSelections();

// Writes "%s: skip=%d, string=(%d,%d,%d)\n" for each selected string, with
// its letters and its start, center and end. Returns 0.
int listSelections(const Selection* selections);

// The d command; arg is the line after the letter. With a number, deletes
// that selected string ("... %s:(%d,%d,%d) deleted\n"), or writes
// "... %d: no selected data\n" and returns -1 for a number out of range.
// With nothing but spaces, asks "... delete? (y/[n]) " about each string and
// deletes those answered y or Y; end of input answers no. Later strings move
// down, the chain's links stay, and the span fields are computed afresh.
// Returns 0.
int deleteSelections(const char* arg, Selection* selections);

#endif  // SRC_SELECT_SELECTION_H_
