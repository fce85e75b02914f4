// What one joining thread found in one block: its hits in the order found,
// a count per skip, and where each skip's hits go in the list.
#ifndef SRC_SEARCH_BLOCK_HITS_H_
#define SRC_SEARCH_BLOCK_HITS_H_

#include <vector>

class HitList;

// A thread takes its anchors in ascending order, so within a skip its hits
// stand in ascending order of start; the threads take consecutive ranges of
// anchors, so a skip's hits are thread 0's, then thread 1's, and so on.
//
// Each BlockHits belongs to one joining thread while a block is joined and
// while its hits are copied into the list, and to the scan's calling
// thread in between, when it writes the marks and sets dest; the team's
// run() orders the phases (scan_team.h). Its buffers are kept from block to
// block and from scan to scan, and grow only through operator new.
struct BlockHits {
  struct Found {
    int skip_offset;  // skip - the block's first skip
    int pos;          // 1-based start
  };

  std::vector<Found> found;  // in the order found
  std::vector<int> counts;   // per skip offset, its hits in found
  std::vector<int> dest;     // per skip offset, the list index of its first
                             // hit; set by the calling thread
  long long work = 0;        // in units of one screened pair
  bool stopped = false;      // interrupted was seen and the block dropped
  // Keeps the next thread's record off the cache lines that this thread
  // writes while it joins (the vectors' ends), without asking the
  // allocator for an alignment.
  char padding[64] = {};

  // Empties the record for a block of skips skips.
  void begin(int skips);

  void add(int skip_offset, int pos) {
    found.push_back({skip_offset, pos});
    ++counts[static_cast<std::size_t>(skip_offset)];
  }

  // Writes the hits of the skip offsets below upto into the list's slots
  // from dest on, in the order found, which within a skip is list order.
  void copyInto(HitList* list, int upto);
};

#endif  // SRC_SEARCH_BLOCK_HITS_H_
