#include "core/hit_list.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "util/memory.h"

namespace {

// Grows an array of entries of the given size to at least wanted entries,
// doubling, through moremem; from kLargeBlockBytes on, into a large block
// (util/memory.h), which spares the page faults of a long list's runs.
template <typename T>
T* grow(T* array, int* capacity, int wanted) {
  long long entries = std::max(16LL, 2LL * *capacity);
  entries = std::max<long long>(entries, wanted);
  const long long bytes = entries * static_cast<long long>(sizeof(T));
  // GCOVR_EXCL_BR_START: more than 268 million runs or chunks, which no test can make
  if (bytes > INT_MAX) memoryExhausted(static_cast<std::size_t>(bytes), false);
  // GCOVR_EXCL_BR_STOP
  const int kept = *capacity;
  *capacity = static_cast<int>(entries);
  if (static_cast<std::size_t>(bytes) < kLargeBlockBytes) {
    return static_cast<T*>(moremem(array, static_cast<int>(bytes)));
  }
  void* block = allocateLargeBlock(static_cast<std::size_t>(bytes));
  if (block == nullptr) memoryExhausted(static_cast<std::size_t>(bytes), false);
  if (kept > 0) std::memcpy(block, array, static_cast<std::size_t>(kept) * sizeof(T));
  std::free(array);
  return static_cast<T*>(block);
}

}  // namespace

HitList::HitList(int chunk_shift)
    : chunk_shift_(static_cast<unsigned>(std::clamp(chunk_shift, 0, kChunkShift))),
      chunk_mask_((1u << chunk_shift_) - 1) {}

void HitList::clear() {
  for (int c = 0; c < chunk_count_; ++c) std::free(chunks_[c]);
  std::free(chunks_);
  std::free(runs_);
  count_ = 0;
  chunks_ = nullptr;
  chunk_count_ = 0;
  chunk_capacity_ = 0;
  runs_ = nullptr;
  run_count_ = 0;
  run_capacity_ = 0;
}

void HitList::reserve(long long n) {
  const long long wanted = count_ + n;
  if (wanted > limit_) {
    // Hit numbers are ints: a list this long cannot be numbered.
    memoryExhausted(static_cast<std::size_t>(wanted) * sizeof(int), false);
  }
  const auto chunks = static_cast<int>((wanted + chunk_mask_) >> chunk_shift_);
  const std::size_t chunk_bytes = (std::size_t{1} << chunk_shift_) * sizeof(int);
  while (chunk_count_ < chunks) {
    if (chunk_count_ == chunk_capacity_) chunks_ = grow(chunks_, &chunk_capacity_, chunks);
    // No zero fill: every slot is written before it is read. The first
    // chunk takes its pages as they are written, so that a short list holds
    // only what it uses; a list that needs more is long, and its other
    // chunks are large blocks, which spare most of their page faults.
    void* chunk = chunk_count_ == 0 ? allocateBlock(chunk_bytes) : allocateLargeBlock(chunk_bytes);
    if (chunk == nullptr) memoryExhausted(chunk_bytes, false);
    chunks_[chunk_count_++] = static_cast<int*>(chunk);
  }
}

void HitList::startRun(int skip) {
  if (run_count_ > 0 && runs_[run_count_ - 1].skip == skip) return;
  if (run_count_ == run_capacity_) runs_ = grow(runs_, &run_capacity_, run_count_ + 1);
  runs_[run_count_++] = {skip, count_};
}

void HitList::append(int skip, int pos) {
  reserve(1);
  startRun(skip);
  this->pos(count_) = pos;
  ++count_;
}

void HitList::appendRun(int skip, const int* positions, int n) {
  if (n <= 0) return;
  reserve(n);
  startRun(skip);
  while (n > 0) {
    const auto in_chunk = static_cast<int>(static_cast<unsigned>(count_) & chunk_mask_);
    const int room = std::min(n, static_cast<int>(chunk_mask_) + 1 - in_chunk);
    std::memcpy(&pos(count_), positions, static_cast<std::size_t>(room) * sizeof(int));
    positions += room;
    count_ += room;
    n -= room;
  }
}

int HitList::appendSlots(int skip, long long n) {
  reserve(n);
  startRun(skip);
  const int first = count_;
  count_ += static_cast<int>(n);
  return first;
}

Hit HitList::at(int index) const {
  // The last run whose first index is at most index.
  const Run* after = std::upper_bound(runs_, runs_ + run_count_, index,
                                      [](int i, const Run& r) { return i < r.first; });
  return {(after - 1)->skip, pos(index)};
}
