#include "search/block_hits.h"

void BlockHits::begin(int skips) {
  found.clear();
  starts.assign(static_cast<std::size_t>(skips) + 1, 0);
  work = 0;
  stopped = false;
}

void BlockHits::groupBySkip() {
  for (const Found& f : found) ++starts[static_cast<std::size_t>(f.skip_offset) + 1];
  for (std::size_t k = 1; k < starts.size(); ++k) starts[k] += starts[k - 1];
  grouped.resize(found.size());
  // Fills from each skip's start on; the starts are put back afterwards by
  // shifting, which saves a second array.
  for (const Found& f : found) {
    grouped[static_cast<std::size_t>(starts[static_cast<std::size_t>(f.skip_offset)]++)] = f.pos;
  }
  for (std::size_t k = starts.size() - 1; k > 0; --k) starts[k] = starts[k - 1];
  starts[0] = 0;
}
