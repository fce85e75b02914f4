// A hit list: the hits of one reading of the last search, kept as runs (a
// skip that has hits, the index of its first hit, then 4 bytes a hit in
// chunks), so that hit n is found by a binary search over the runs.
#ifndef SRC_CORE_HIT_LIST_H_
#define SRC_CORE_HIT_LIST_H_

#include <climits>

#include "core/main_info.h"

// The hits of one reading. Ownership and threads: the command loop owns the
// two lists (forward and backward) for the program's lifetime. A search run
// empties them and the scan fills them; the listing, the lookup by number and
// the backward reordering read them. The thread that runs the command loop
// does all of that, and makes room for each block of a joined scan's hits
// (appendSlots); then the members of the scan's team write their hits'
// positions into those slots through a Slots view, each slot by one member
// and nothing else touching the list meanwhile. The team's start and end of
// that phase order the members' writes with the calling thread's
// (search/scan_team.h).
class HitList {
 public:
  // Hits per chunk of positions in the program's lists. A chunk is one heap
  // block within the memory budget (util/memory.h), without a zero fill, and
  // a large block but for the first; a list holds at most one chunk that is
  // not full.
  static constexpr int kChunkShift = 20;
  static constexpr int kChunkHits = 1 << kChunkShift;
  // Most hits of both readings together: a listing numbers them on from the
  // forward ones, and the number after the last must be an int too.
  static constexpr int kMaxHits = INT_MAX - 1;

  // A run: every hit of one skip, at indexes first to the next run's first
  // (or count()) minus one.
  struct Run {
    int skip;
    int first;
  };

  HitList() : HitList(kChunkShift) {}
  // A list whose chunks hold 1 << chunk_shift hits (0 to kChunkShift): tests
  // take small chunks, so that a short list meets their edges.
  explicit HitList(int chunk_shift);
  ~HitList() { clear(); }
  HitList(const HitList&) = delete;
  HitList& operator=(const HitList&) = delete;

  // Number of hits; 0 for an empty list.
  int count() const { return count_; }
  bool empty() const { return count_ == 0; }

  // Drops every hit and gives all storage back.
  void clear();

  // Sets the most hits the list may hold (kMaxHits at start); appending past
  // it ends the program through the allocator's exhaustion path.
  void setLimit(int most) { limit_ = most; }
  int limit() const { return limit_; }

  // Appends the hit (skip, pos). REQUIRES: skip >= the skip of the last hit;
  // within one skip, hits come in the order they are to be listed.
  void append(int skip, int pos);

  // Appends n hits of one skip, positions in list order. REQUIRES as append.
  void appendRun(int skip, const int* positions, int n);

  // Appends n hits of one skip whose positions are written afterwards
  // through pos(), and returns the index of the first. REQUIRES as append,
  // and n >= 1. Until they are written the slots hold no meaningful value;
  // while they are written, by any threads, each slot by one, nothing else
  // may touch the list.
  int appendSlots(int skip, long long n);

  // Hit at index (0-based). REQUIRES: 0 <= index < count().
  Hit at(int index) const;

  // Runs, in ascending order of skip.
  int runCount() const { return run_count_; }
  Run run(int r) const { return runs_[r]; }
  // One past the last index of run r.
  int runEnd(int r) const { return r + 1 < run_count_ ? runs_[r + 1].first : count_; }

  // The position of the hit at index, to read or to change in place.
  int& pos(int index) { return slots()[index]; }
  int pos(int index) const { return slots()[index]; }

  // The slots of the hits appended so far, by index, for a loop that writes
  // many of them: a local copy keeps the chunks' layout in registers while
  // the loop stores positions. Valid until the next append or clear.
  class Slots {
   public:
    int& operator[](int index) const {
      const auto i = static_cast<unsigned>(index);
      return chunks_[i >> shift_][i & mask_];
    }

   private:
    friend class HitList;
    Slots(int* const* chunks, unsigned shift, unsigned mask)
        : chunks_(chunks), shift_(shift), mask_(mask) {}

    int* const* chunks_;
    unsigned shift_;
    unsigned mask_;
  };
  Slots slots() const { return {chunks_, chunk_shift_, chunk_mask_}; }

 private:
  // Makes room for n more hits; ends the program through the allocator's
  // exhaustion path when the count would pass the limit.
  void reserve(long long n);
  void startRun(int skip);

  unsigned chunk_shift_;  // log2 of the hits per chunk
  unsigned chunk_mask_;   // the hits per chunk less 1
  int count_ = 0;
  int limit_ = kMaxHits;
  int** chunks_ = nullptr;  // chunk_count_ chunks of chunk_mask_ + 1 positions
  int chunk_count_ = 0;
  int chunk_capacity_ = 0;  // entries of chunks_
  Run* runs_ = nullptr;
  int run_count_ = 0;
  int run_capacity_ = 0;
};

#endif  // SRC_CORE_HIT_LIST_H_
