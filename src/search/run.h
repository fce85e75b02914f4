// Search runs: the search command's scans of the text forwards and reversed,
// the backward reordering, and the numbered, paged listing of the hits that
// the list-again command repeats.
#ifndef SRC_SEARCH_RUN_H_
#define SRC_SEARCH_RUN_H_

class HitList;

// Search mode (search != 0): empties both lists of the previous search, scans
// mainInfo.text for mainInfo.pattern (every skip when all_skips is non-zero,
// else up to mainInfo.skipLimit), lists the forward hits, scans the text
// reversed in place (and restores it exactly), lists the backward hits and
// sets mainInfo.forwardCount and mainInfo.backwardCount. Listing mode
// (search == 0): lists the hits of the last search again, changing nothing.
// Headers, marks and "continued ... " prompts go through errmsg, hit lines to
// standard output. Once a reply of q stops a section, the rest of it is
// counted at once, without visiting its hits. The forward list's limit
// (HitList::kMaxHits, unless a test lowers it) bounds the hits of both
// readings together; past it the search ends as if memory ran out.
void searchBoth(int search, int all_skips, HitList* forward_hits, HitList* backward_hits);

// Reverses the NUL-terminated text in place, byte by byte (the two bytes of a
// double-byte character swap too); the middle byte of an odd length stays.
void reverseText(char* text);

// Reverses the order of the positions within every run of hits of equal
// skip, keeping the skips in place. Turns the backward scan's order (by
// position in the reversed text) into ascending forward starts.
void reorderBackward(HitList* list);

// The operations of posStack.
enum PosStackOp {
  kPosPush = 0,   // push value and return it
  kPosPop = 1,    // pop and return the top value; REQUIRES: not empty
  kPosEmpty = 2,  // drop every entry and return 0
};

// A stack of ints for reorderBackward. Its storage is made on first use with
// room for 256 entries, grows by 256 entries whenever a push finds it full,
// and is kept until the program ends.
int posStack(int operation, int value);

#endif  // SRC_SEARCH_RUN_H_
