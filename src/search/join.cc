#include "search/join.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "search/mask_step_ops.h"
#include "search/mask_steps.h"
#include "util/compiler.h"
#include "util/interrupt.h"

namespace {

class Joiner;

// The sweep of the anchors at the indexes [begin, end) over the block with
// the maps of the index, in steps of one width; adds its cost to the
// joiner's work.
using Sweep = void (*)(Joiner* joiner, int begin, int end);

// The sweep of a width over count maps (1 to kMaxMaskLetters).
template <typename Steps>
Sweep sweepOfMaps(std::size_t count) {
  static_assert(kMaxMaskLetters == 4);
  switch (count) {
    case 1:
      return Steps::template sweep<Joiner, 1>;
    case 2:
      return Steps::template sweep<Joiner, 2>;
    case 3:
      return Steps::template sweep<Joiner, 3>;
    default:
      return Steps::template sweep<Joiner, 4>;
  }
}

// The sweep of a width over count maps. A width that this build lacks is
// never chosen (widestMaskWidth).
Sweep sweepOf(MaskWidth width, std::size_t count) {
  switch (width) {
#if ELSSCAN_X86_VECTORS
    case MaskWidth::kAvx512:
      return sweepOfMaps<Steps512>(count);
    case MaskWidth::kAvx2:
      return sweepOfMaps<Steps256>(count);
#endif
    case MaskWidth::kPortable:
    default:
      return sweepOfMaps<Steps56>(count);
  }
}

class Joiner {
 public:
  Joiner(LetterIndex* index, const Block& block, BlockHits* out)
      : index_(*index),
        block_(block),
        out_(out),
        sweep_(sweepOf(index->mask_width, index->masks.size())) {}

  void joinPairs(int anchor);
  void joinMasks(int begin, int end) { sweep_(this, begin, end); }
  long long work() const { return work_; }

  // The sweep of a range of anchors over the block, for every width: Steps
  // is the width's steps struct, whose sweep() is the only caller, so that
  // this takes the width's instructions. The maps are unrolled by their
  // index. Polls before every anchor, and sets out_->stopped when told to
  // stop.
  template <typename Steps, std::size_t... kMaps>
  ELSSCAN_ALWAYS_INLINE void sweepMasks(int begin, int end, std::index_sequence<kMaps...> maps);

 private:
  template <typename Steps, std::size_t kCount, std::size_t... kMaps>
  ELSSCAN_ALWAYS_INLINE long long sweepAnchor(int x, int first, int span,
                                              const unsigned char* const (&at)[kCount],
                                              const typename Steps::Shift (&shift)[kCount],
                                              std::index_sequence<kMaps...> maps);
  template <std::size_t kLanes>
  void confirmLanes(int x, int base, const std::uint64_t (&lanes)[kLanes]);
  void confirm(int x, int skip);

  LetterIndex& index_;
  const Block& block_;
  BlockHits* out_;
  const Sweep sweep_;   // the masks' sweep of the index's width
  long long work_ = 0;  // kept here, not in out_, while the thread joins
  int batch_[kMaxPairsPerBatch];
};

// Pairs one anchor with every partner of its class at a skip of the block
// at which the start fits. The pairs go in batches: the screen is tested on
// every pair of a batch without a branch, keeping the survivors for the
// checks. Partner quotients of pairs that fit stay below the text's length
// over the spacing, so the limit cannot overflow.
void Joiner::joinPairs(int anchor) {
  const int x = index_.anchors[static_cast<std::size_t>(anchor)];
  const int last = block_.lastSkip(x);
  if (last < block_.first) return;
  int quotient = 0;
  int residue = 0;
  index_.split(x, &quotient, &residue);
  const int* q = index_.partners.data();
  int& cursor = index_.cursors[static_cast<std::size_t>(anchor)];
  const int limit = quotient + last;
  const unsigned char* at = index_.text + x;
  const Check screen = index_.screen;
  const int batch = index_.pairs_per_batch;
  int next = cursor;
  for (;;) {
    const int batch_end = next + batch;
    int kept = 0;
    while (next < batch_end && q[next] <= limit) {
      const int skip = q[next] - quotient;
      batch_[kept] = skip;
      kept += at[screen.offset * skip] == screen.letter ? 1 : 0;
      ++next;
    }
    for (int k = 0; k < kept; ++k) confirm(x, batch_[k]);
    if (next < batch_end) break;
  }
  work_ += next - cursor;
  cursor = next;
}

// Confirms the skips whose bits are set in lanes, 64 skips a lane from base
// on, in ascending order.
template <std::size_t kLanes>
void Joiner::confirmLanes(int x, int base, const std::uint64_t (&lanes)[kLanes]) {
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    for (std::uint64_t bits = lanes[lane]; bits != 0; bits &= bits - 1) {
      confirm(x, base + 64 * static_cast<int>(lane) + std::countr_zero(bits));
    }
  }
}

// Each anchor is tested against the masks, as many skips a step as the
// index's width says. The maps' geometry, pointers and the block are
// copied first, so that they stay in registers or on the stack from anchor
// to anchor (the stores of hits might otherwise change them). Where the
// anchors' bits lie in the maps is reckoned for a batch of anchors at a
// time, map by map, in a loop that the compiler unrolls over several
// anchors.
template <typename Steps, std::size_t... kMaps>
ELSSCAN_ALWAYS_INLINE void Joiner::sweepMasks(int begin, int end,
                                              std::index_sequence<kMaps...> maps) {
  constexpr std::size_t kCount = sizeof...(kMaps);
  constexpr int kBatch = 16;
  const MapGeometry geometry[kCount] = {index_.masks[kMaps]...};
  const unsigned char* const bytes[kCount] = {index_.masks[kMaps].bytes.get()...};
  const Block block = block_;
  const int* const anchors = index_.anchors.data();
  long long steps = 0;
  long long swept = 0;
  for (int batch = begin; batch < end; batch += kBatch) {
    const int count = std::min(kBatch, end - batch);
    // Per map and anchor, the byte and the bit within it of the anchor's
    // first skip in the block.
    const unsigned char* first_at[kCount][kBatch];
    int first_shift[kCount][kBatch];
    for (std::size_t m = 0; m < kCount; ++m) {
      const MapGeometry map = geometry[m];
      for (int k = 0; k < count; ++k) {
        const long long bit = map.origin(anchors[batch + k]) + block.first;
        first_at[m][k] = bytes[m] + (bit >> 3);
        first_shift[m][k] = static_cast<int>(bit & 7);
      }
    }
    for (int k = 0; k < count; ++k) {
      if (scanStopRequested()) {
        out_->stopped = true;
        break;
      }
      const int x = anchors[batch + k];
      const int last = block.lastSkip(x);
      if (last < block.first) continue;
      const unsigned char* const at[kCount] = {first_at[kMaps][k]...};
      typename Steps::Shift shift[kCount];
      for (std::size_t m = 0; m < kCount; ++m) Steps::setShift(first_shift[m][k], &shift[m]);
      steps += sweepAnchor<Steps>(x, block.first, last - block.first + 1, at, shift, maps);
      ++swept;
    }
    if (out_->stopped) break;
  }
  work_ += maskWidthRow(Steps::kWidth).step_work * steps + kAnchorWork * swept;
}

// The bits of one anchor's skips lie at a fixed bit offset within the bytes
// of each map (from at[m] on, shifted by shift[m]), so every step is one
// unaligned load and one shift per map (and lane). All maps are ANDed: a
// branch per map would be mispredicted about as often as it saves a load.
// The whole steps run in a loop of their own that calls nothing, so that
// the maps' pointers and shifts stay in registers; a step with bits left
// leaves it for the checks. Every map has room behind its bits for the
// bytes that a step of any width reads (kMaskPadding). The sweep covers
// the skips from first on, span (1 or more) of them; returns the steps
// taken.
template <typename Steps, std::size_t kCount, std::size_t... kMaps>
ELSSCAN_ALWAYS_INLINE long long Joiner::sweepAnchor(int x, int first, int span,
                                                    const unsigned char* const (&at)[kCount],
                                                    const typename Steps::Shift (&shift)[kCount],
                                                    std::index_sequence<kMaps...> maps) {
  constexpr auto kSkips = static_cast<unsigned>(Steps::kSkips);
  const auto whole = static_cast<std::ptrdiff_t>(static_cast<unsigned>(span) / kSkips);
  const auto rest = static_cast<int>(static_cast<unsigned>(span) % kSkips);
  for (std::ptrdiff_t k = 0;; ++k) {
    // Made afresh before the whole steps' loop, which so has an entry of its
    // own: there g++ loads the shifts into registers, where it would
    // otherwise load them again at every step.
    typename Steps::Mask mask{};
    for (; k < whole; ++k) {
      if (Steps::take(at, shift, k, maps, &mask)) break;
    }
    if (k == whole) {
      // The last step, of fewer skips: most anchors leave here without a
      // bit set.
      if (rest == 0) break;
      Steps::take(at, shift, k, maps, &mask);
      if (!Steps::keepFirst(rest, &mask)) break;
    }
    alignas(64) std::uint64_t lanes[Steps::kLanes];
    Steps::store(mask, lanes);
    confirmLanes(x, first + static_cast<int>(k) * Steps::kSkips, lanes);
    if (k == whole) break;
  }
  return whole + (rest > 0 ? 1 : 0);
}

// Tests the remaining letters and keeps the hit.
void Joiner::confirm(int x, int skip) {
  const unsigned char* at = index_.text + x;
  for (const Check& check : index_.checks) {
    if (at[check.offset * skip] != check.letter) return;
  }
  out_->add(skip - block_.first, x - index_.anchor_index * skip + 1);
  work_ += kHitWork;
}

}  // namespace

void joinAnchors(LetterIndex* index, const Block& block, int anchors_begin, int anchors_end,
                 BlockHits* out) {
  out->begin(block.end - block.first);
  Joiner joiner(index, block, out);
  if (index->method == JoinMethod::kPairs) {
    for (int anchor = anchors_begin; anchor < anchors_end; ++anchor) {
      if (scanStopRequested()) {
        out->stopped = true;
        break;
      }
      joiner.joinPairs(anchor);
    }
  } else {
    joiner.joinMasks(anchors_begin, anchors_end);
  }
  out->work = joiner.work();
}

JoinUnit joinUnit(const LetterIndex& index) {
  if (index.method == JoinMethod::kPairs) return {1, 1};
  const MaskWidthRow& row = maskWidthRow(index.mask_width);
  return {row.skips, static_cast<int>((kAnchorWork + row.step_work - 1) / row.step_work)};
}
