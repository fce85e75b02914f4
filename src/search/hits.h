// Hit lists: node storage, appending in scan order, and the (start, center,
// end) triple in forward-text terms that the user sees for every hit.
#ifndef SRC_SEARCH_HITS_H_
#define SRC_SEARCH_HITS_H_

#include "core/main_info.h"

// Returns a zeroed node for a hit list. Nodes come from blocks of many nodes
// (16 bytes a hit) and all of them are given back at once by freeHitNodes.
Hit* newHit();

// Returns count zeroed nodes in a row, for a scan thread to fill and link
// itself. Safe to call from several threads at once. The nodes are freed by
// freeHitNodes with all others, whether used or not. REQUIRES: count >= 1.
Hit* newHitRun(int count);

// Frees every node that newHit and newHitRun gave out. The list heads, which belong to the
// command loop, are not touched: the caller resets their next links.
void freeHitNodes();

// Appends the hit (skip, pos) behind *tail and makes it the new tail. While
// the list is empty (the head's skip is -1) the head itself takes the hit.
void appendHit(Hit** tail, int skip, int pos);

// A hit as positions in the forward text: start and end are its lowest and
// highest letter positions, center (start + end) / 2 truncated toward zero.
struct HitTriple {
  int start;
  int center;
  int end;
};

// Triple of a forward hit whose first letter stands at pos.
HitTriple forwardTriple(int skip, int pos, int pattern_len);

// Triple of a backward hit whose first letter stands at pos of the reversed
// text of text_len bytes (its start is the forward position of its last
// letter).
HitTriple backwardTriple(int skip, int pos, int pattern_len, int text_len);

#endif  // SRC_SEARCH_HITS_H_
