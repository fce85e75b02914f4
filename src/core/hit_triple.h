// The (start, center, end) triple in forward-text terms that the user sees
// for every hit: the listing writes it, and the selection keeps and draws
// its strings by it.
#ifndef SRC_CORE_HIT_TRIPLE_H_
#define SRC_CORE_HIT_TRIPLE_H_

// A hit as positions in the forward text: start and end are its lowest and
// highest letter positions, center (start + end) / 2 truncated toward zero.
struct HitTriple {
  int start;
  int center;
  int end;
};

// Triple of a forward hit whose first letter stands at pos. The center is
// taken over a wide sum, so that texts up to the largest int do not
// overflow.
HitTriple forwardTriple(int skip, int pos, int pattern_len);

// Triple of a backward hit whose first letter stands at pos of the reversed
// text of text_len bytes (its start is the forward position of its last
// letter).
HitTriple backwardTriple(int skip, int pos, int pattern_len, int text_len);

#endif  // SRC_CORE_HIT_TRIPLE_H_
