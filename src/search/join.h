// The two join methods of the joined scan over one range of anchors and one
// block of skips: pairs (each anchor with the partner letter's occurrences
// at the distance of a skip) and masks (a step of many skips per anchor
// against the bit maps); the remaining letters are checked byte by byte.
#ifndef SRC_SEARCH_JOIN_H_
#define SRC_SEARCH_JOIN_H_

#include "search/block_hits.h"
#include "search/block_sizing.h"
#include "search/letter_index.h"

// Joins the anchors at the indexes [anchors_begin, anchors_end) of
// index->anchors over block, adding their hits to out (by anchor, then
// skip) and their cost to out->work, after emptying it. Polls interrupted
// before every anchor; once it is set, sets out->stopped and returns.
// Any joining thread may call it, each with its own range of anchors and
// its own BlockHits: it reads the index and the block, writes only the
// cursors of its own anchors (pairs) and its BlockHits, and allocates only
// through operator new (the BlockHits' vectors).
void joinAnchors(LetterIndex* index, const Block& block, int anchors_begin, int anchors_end,
                 BlockHits* out);

// The unit in which joinAnchors takes the skips of a block of index: one
// skip by pairs; by masks, a step of the index's width, at least as many
// steps a block as make an anchor's steps cost no less than setting it up
// for the block.
JoinUnit joinUnit(const LetterIndex& index);

#endif  // SRC_SEARCH_JOIN_H_
