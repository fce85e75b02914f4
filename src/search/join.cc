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

// Costs in units of one screened pair, measured on an English text: setting
// an anchor up for a block of masks, and a hit. A step of the masks costs
// its width's work (mask_steps.h).
constexpr long long kAnchorWork = 8;
constexpr long long kHitWork = 8;

// The mask of a sweep's last step when only its first rest skips belong to
// the sweep (0 < rest < the step's skips): their bits set, in lanes of 64.
template <std::size_t kLanes>
std::array<std::uint64_t, kLanes> lastStepLanes(int rest) {
  std::array<std::uint64_t, kLanes> keep{};
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    const int bits = std::clamp(rest - 64 * static_cast<int>(lane), 0, 64);
    keep[lane] = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
  }
  return keep;
}

class Joiner;

// One anchor's sweep over the block with the maps of the index, in steps of
// one width; returns the steps taken.
using Sweep = long long (*)(Joiner* joiner, int x, int last);

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

// The sweep of the first width of the list whose step is step.
template <typename... Widths>
Sweep sweepOfWidth(MaskStep step, std::size_t count, WidthList<Widths...>) {
  Sweep sweep = nullptr;
  static_cast<void>(((step == Widths::kStep && (sweep = sweepOfMaps<Widths>(count), true)) || ...));
  return sweep;
}

class Joiner {
 public:
  Joiner(LetterIndex* index, const Block& block, BlockHits* out)
      : index_(*index),
        block_(block),
        out_(out),
        sweep_(sweepOfWidth(index->step, index->masks.size(), BuiltWidths())),
        step_work_(maskStepWidth(index->step).work) {}

  void joinPairs(int anchor);
  void joinMasks(int anchor);
  long long work() const { return work_; }

  // The sweep of one anchor over the block, for every width: Steps is the
  // width's steps struct, whose sweep() is the only caller, so that this
  // takes the width's instructions. The maps are unrolled by their index.
  // Returns the steps taken.
  template <typename Steps, std::size_t... kMaps>
  ELSSCAN_ALWAYS_INLINE long long sweepMasks(int x, int last, std::index_sequence<kMaps...> maps);

 private:
  void firstBits(int x, std::size_t m, const unsigned char** at, int* shift) const;
  template <std::size_t kLanes>
  void confirmLanes(int x, int base, const std::uint64_t (&lanes)[kLanes]);
  void confirm(int x, int skip);

  LetterIndex& index_;
  const Block& block_;
  BlockHits* out_;
  const Sweep sweep_;          // the masks' sweep of the index's width
  const long long step_work_;  // the work of one of its steps
  long long work_ = 0;         // kept here, not in out_, while the thread joins
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

// Tests one anchor against the masks, as many skips a step as the index's
// width says.
void Joiner::joinMasks(int anchor) {
  const int x = index_.anchors[static_cast<std::size_t>(anchor)];
  const int last = block_.lastSkip(x);
  if (last < block_.first) return;
  work_ += step_work_ * sweep_(this, x, last);
  work_ += kAnchorWork;
}

// Where map m holds the bit of anchor x's first skip in the block: its byte
// and its bit within the byte.
void Joiner::firstBits(int x, std::size_t m, const unsigned char** at, int* shift) const {
  const long long bit = index_.masks[m].origin(x) + block_.first;
  *at = index_.masks[m].bytes.get() + (bit >> 3);
  *shift = static_cast<int>(bit & 7);
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

// The bits of one anchor's skips lie at a fixed bit offset within the bytes
// of each map, so every step is one unaligned load and one shift per map
// (and lane). All maps are ANDed: a branch per map would be mispredicted
// about as often as it saves a load. The maps are unrolled by their index,
// and the whole steps run in a loop of their own that calls nothing, so
// that the maps' pointers and shifts stay in registers; a step with bits
// left leaves it for the checks. Every map has room behind its bits for the
// bytes that a step of any width reads (kMaskPadding).
template <typename Steps, std::size_t... kMaps>
ELSSCAN_ALWAYS_INLINE long long Joiner::sweepMasks(int x, int last,
                                                   std::index_sequence<kMaps...> maps) {
  constexpr std::size_t kCount = sizeof...(kMaps);
  const unsigned char* at[kCount];
  typename Steps::Shift shift[kCount];
  for (std::size_t m = 0; m < kCount; ++m) {
    int bits = 0;
    firstBits(x, m, &at[m], &bits);
    Steps::setShift(bits, &shift[m]);
  }
  const int span = last - block_.first + 1;
  const std::ptrdiff_t whole = span / Steps::kSkips;
  const int rest = span % Steps::kSkips;
  for (std::ptrdiff_t k = 0;; ++k) {
    // Made afresh before the whole steps' loop, which so has an entry of its
    // own: there g++ loads the shifts into registers, where it would
    // otherwise load them again at every step.
    typename Steps::Mask mask{};
    for (; k < whole; ++k) {
      if (Steps::take(at, shift, k, maps, &mask)) break;
    }
    if (k == whole) {
      if (rest == 0) break;
      Steps::take(at, shift, k, maps, &mask);
      Steps::keep(lastStepLanes<Steps::kLanes>(rest), &mask);
    }
    alignas(64) std::uint64_t lanes[Steps::kLanes];
    Steps::store(mask, lanes);
    confirmLanes(x, block_.first + static_cast<int>(k) * Steps::kSkips, lanes);
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
  for (int anchor = anchors_begin; anchor < anchors_end; ++anchor) {
    if (scanStopRequested()) {
      out->stopped = true;
      break;
    }
    if (index->pairs) {
      joiner.joinPairs(anchor);
    } else {
      joiner.joinMasks(anchor);
    }
  }
  out->work = joiner.work();
}
