// The two join methods of the joined scan, applied to one range of anchors
// over one block of skips: pairs (each anchor with the partner letter's
// occurrences whose distance gives a skip of the block) and masks (a step
// of 56, 256 or 512 skips per anchor at once, as the index's width says,
// against the bit maps). Either way the remaining letters are checked byte
// by byte before a hit is kept.
//
// Threads: any joining thread may call joinAnchors, each with its own range
// of anchors and its own BlockHits. It reads the index and the block, writes
// only the cursors of its own anchors (pairs) and its BlockHits, and
// allocates only through operator new (the BlockHits' vectors).
#ifndef SRC_SEARCH_JOIN_H_
#define SRC_SEARCH_JOIN_H_

#include "search/block_hits.h"
#include "search/block_sizing.h"
#include "search/letter_index.h"

// Joins the anchors at the indexes [anchors_begin, anchors_end) of
// index->anchors over block, adding their hits to out (by anchor, then
// skip) and their cost to out->work, after emptying it. Polls interrupted
// before every anchor; once it is set, sets out->stopped and returns.
void joinAnchors(LetterIndex* index, const Block& block, int anchors_begin, int anchors_end,
                 BlockHits* out);

// The steps in which joinAnchors takes the skips of a block of index: one
// skip at a time by pairs; by masks, the steps of the index's width, at
// least as many a block as make an anchor's steps cost no less than
// setting it up for the block.
JoinUnit joinUnit(const LetterIndex& index);

#endif  // SRC_SEARCH_JOIN_H_
