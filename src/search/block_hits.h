// What one joining thread found in one block: its hits in the order found
// (by anchor, then by skip), then grouped by skip for the list. A thread
// takes its anchors in ascending order, so within a skip its hits stand in
// ascending order of start; the threads take consecutive ranges of anchors,
// so a skip's hits are thread 0's, then thread 1's, and so on.
//
// Threads: each BlockHits belongs to one joining thread while a block is
// joined, and to the scan's calling thread between blocks, when it appends
// the hits to the list; the team's start and end of a block order the two.
// Its buffers are kept from block to block and from scan to scan.
#ifndef SRC_SEARCH_BLOCK_HITS_H_
#define SRC_SEARCH_BLOCK_HITS_H_

#include <vector>

struct BlockHits {
  struct Found {
    int skip_offset;  // skip - the block's first skip
    int pos;          // 1-based start
  };

  std::vector<Found> found;  // in the order found
  std::vector<int> starts;   // after groupBySkip: per skip offset, the index
                             // in grouped of its first hit; one more entry
                             // closes the last
  std::vector<int> grouped;  // after groupBySkip: starts, skip by skip
  long long work = 0;        // in units of one screened pair
  bool stopped = false;      // interrupted was seen and the block dropped

  // Empties the record for a block of skips skips.
  void begin(int skips);

  void add(int skip_offset, int pos) { found.push_back({skip_offset, pos}); }

  // Fills starts and grouped from found, keeping the order within a skip.
  void groupBySkip();

  int countOf(int skip_offset) const {
    return starts[static_cast<std::size_t>(skip_offset) + 1] -
           starts[static_cast<std::size_t>(skip_offset)];
  }
  const int* positionsOf(int skip_offset) const {
    return grouped.data() + starts[static_cast<std::size_t>(skip_offset)];
  }
};

#endif  // SRC_SEARCH_BLOCK_HITS_H_
