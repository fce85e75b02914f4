#include "search/hits.h"

#include <cstdlib>
#include <mutex>

#include "util/memory.h"

namespace {

constexpr int kHitsPerBlock = 4096;

struct HitBlock {
  HitBlock* next;
  int used;
  Hit hits[kHitsPerBlock];
};

HitBlock* blocks = nullptr;  // the newest block first

// A block of newHitRun: a header the size of a node, then the run.
struct RunHeader {
  RunHeader* next;
  void* unused;
};
static_assert(sizeof(RunHeader) == sizeof(Hit));

std::mutex runs_lock;
RunHeader* runs = nullptr;  // the newest run first

}  // namespace

Hit* newHit() {
  if (blocks == nullptr || blocks->used == kHitsPerBlock) {
    auto* block = static_cast<HitBlock*>(getmem(static_cast<int>(sizeof(HitBlock))));
    block->next = blocks;
    blocks = block;
  }
  return &blocks->hits[blocks->used++];
}

Hit* newHitRun(int count) {
  auto* run = static_cast<RunHeader*>(getmem(static_cast<int>(sizeof(Hit)) * (count + 1)));
  const std::lock_guard<std::mutex> hold(runs_lock);
  run->next = runs;
  runs = run;
  return reinterpret_cast<Hit*>(run + 1);
}

void freeHitNodes() {
  while (blocks != nullptr) {
    HitBlock* next = blocks->next;
    std::free(blocks);
    blocks = next;
  }
  const std::lock_guard<std::mutex> hold(runs_lock);
  while (runs != nullptr) {
    RunHeader* next = runs->next;
    std::free(runs);
    runs = next;
  }
}

void appendHit(Hit** tail, int skip, int pos) {
  Hit* node = *tail;
  if (node->skip != -1) {
    node = newHit();
    (*tail)->next = node;
    *tail = node;
  }
  node->skip = skip;
  node->pos = pos;
  node->next = nullptr;
}

// The sum of both ends passes the int range on texts above 1 GB.
static int centerOf(int start, int end) {
  return static_cast<int>((static_cast<long long>(start) + end) / 2);
}

HitTriple forwardTriple(int skip, int pos, int pattern_len) {
  const int end = pos + (pattern_len - 1) * skip;
  return {pos, centerOf(pos, end), end};
}

HitTriple backwardTriple(int skip, int pos, int pattern_len, int text_len) {
  const int start = text_len - (pattern_len - 1) * skip - pos + 1;
  const int end = start + (pattern_len - 1) * skip;
  return {start, centerOf(start, end), end};
}
