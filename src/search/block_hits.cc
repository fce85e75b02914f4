#include "search/block_hits.h"

#include "core/hit_list.h"

void BlockHits::begin(int skips) {
  found.clear();
  counts.assign(static_cast<std::size_t>(skips), 0);
  dest.resize(static_cast<std::size_t>(skips));
  work = 0;
  stopped = false;
}

void BlockHits::copyInto(HitList* list, int upto) {
  // Local copies, which the stores of positions cannot change.
  const HitList::Slots slots = list->slots();
  int* const next = dest.data();
  for (const Found& f : found) {
    if (f.skip_offset < upto) slots[next[f.skip_offset]++] = f.pos;
  }
}
