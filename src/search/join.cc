#include "search/join.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "util/cpu_features.h"
#include "util/interrupt.h"

#if ELSSCAN_X86_VECTORS
#include <immintrin.h>
#endif

namespace {

// Pairs screened by their first check before the survivors get the others.
constexpr int kPairsPerBatch = 256;
// Costs in units of one screened pair, measured on an English text: a step
// of the masks, setting an anchor up for a block of masks, and a hit.
constexpr long long kStepWork = 2;
constexpr long long kAnchorWork = 8;
constexpr long long kHitWork = 8;
#if ELSSCAN_X86_VECTORS
// A step of 256 skips with 256-bit vectors.
constexpr long long kWideStepWork = 4;
constexpr int kSkipsPerWideStep = 256;
#endif

// The 8 bytes from p on, the first in the lowest bits.
std::uint64_t loadBytes(const unsigned char* p) {
  std::uint64_t value = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, p, sizeof value);
  } else {
    for (int k = 7; k >= 0; --k) value = value << 8 | p[k];
  }
  return value;
}

// Calls sweep with the maps' indexes 0 to count - 1 as a compile-time
// sequence, so that a sweep unrolls its loop over the maps; count is 1 to 4.
template <typename Sweep>
long long byMaskCount(std::size_t count, const Sweep& sweep) {
  switch (count) {
    case 1:
      return sweep(std::make_index_sequence<1>());
    case 2:
      return sweep(std::make_index_sequence<2>());
    case 3:
      return sweep(std::make_index_sequence<3>());
    default:
      return sweep(std::make_index_sequence<4>());
  }
}

#if ELSSCAN_X86_VECTORS
// Step k of a wide sweep over the maps at `at`: bit b of the result stands
// for the block's skip 256 k + b from the anchor's first bit on.
template <std::size_t... kMaps>
ELSSCAN_TARGET_AVX2 inline __m256i wideStep(const unsigned char* const* at, const __m128i* down,
                                            const __m128i* up, std::ptrdiff_t k,
                                            std::index_sequence<kMaps...>) {
  const std::ptrdiff_t offset = k * (kSkipsPerWideStep / 8);
  __m256i mask = _mm256_set1_epi64x(-1);
  ((mask = _mm256_and_si256(
        mask, _mm256_or_si256(_mm256_srl_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(
                                                   at[kMaps] + offset)),
                                               down[kMaps]),
                              _mm256_sll_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(
                                                   at[kMaps] + offset + 8)),
                                               up[kMaps])))),
   ...);
  return mask;
}
#endif

class Joiner {
 public:
  Joiner(LetterIndex* index, const Block& block, BlockHits* out)
      : x_(*index), block_(block), out_(out) {}

  void joinPairs(int anchor);
  void joinMasks(int anchor);
  long long work() const { return work_; }

 private:
  template <std::size_t... kMaps>
  long long sweepMasks(int x, int last, std::index_sequence<kMaps...>);
#if ELSSCAN_X86_VECTORS
  template <std::size_t... kMaps>
  ELSSCAN_TARGET_AVX2 long long sweepMasksWide(int x, int last, std::index_sequence<kMaps...>);
#endif
  void confirm(int x, int skip, std::size_t first_check);

  LetterIndex& x_;
  const Block& block_;
  BlockHits* out_;
  long long work_ = 0;  // kept here, not in out_, while the thread joins
  int batch_[kPairsPerBatch];
};

// Pairs one anchor with every partner of its class at a skip of the block
// at which the start fits. The first check is done on every pair without a
// branch, keeping the survivors for the other checks. Partner quotients of
// pairs that fit stay below the text's length over the spacing, so the
// limit cannot overflow.
void Joiner::joinPairs(int anchor) {
  const int x = x_.anchors[static_cast<std::size_t>(anchor)];
  const int last = block_.lastSkip(x);
  if (last < block_.first) return;
  int quotient = 0;
  int residue = 0;
  x_.split(x, &quotient, &residue);
  const int* q = x_.partners.data();
  int& cursor = x_.cursors[static_cast<std::size_t>(anchor)];
  const int limit = quotient + last;
  const unsigned char* at = x_.text + x;
  const Check screen = x_.checks[0];
  int next = cursor;
  for (;;) {
    const int batch_end = next + kPairsPerBatch;
    int kept = 0;
    while (next < batch_end && q[next] <= limit) {
      const int skip = q[next] - quotient;
      batch_[kept] = skip;
      kept += at[screen.offset * skip] == screen.letter ? 1 : 0;
      ++next;
    }
    for (int k = 0; k < kept; ++k) confirm(x, batch_[k], 1);
    if (next < batch_end) break;
  }
  work_ += next - cursor;
  cursor = next;
}

// Tests one anchor against the masks, kSkipsPerStep skips at a time.
void Joiner::joinMasks(int anchor) {
  const int x = x_.anchors[static_cast<std::size_t>(anchor)];
  const int last = block_.lastSkip(x);
  if (last < block_.first) return;
#if ELSSCAN_X86_VECTORS
  if (x_.wide_steps) {
    const long long steps =
        byMaskCount(x_.masks.size(), [&](auto maps) { return sweepMasksWide(x, last, maps); });
    work_ += steps * kWideStepWork + kAnchorWork;
    return;
  }
#endif
  const long long steps =
      byMaskCount(x_.masks.size(), [&](auto maps) { return sweepMasks(x, last, maps); });
  work_ += steps * kStepWork + kAnchorWork;
}

// The bits of one anchor's skips lie at a fixed bit offset within the bytes
// of each map, so every step is one unaligned load and one shift per map:
// 8 bytes shifted by at most 7 leave 57 good bits, of which 56 (7 whole
// bytes) are used. All maps are ANDed: a branch per map would be
// mispredicted about as often as it saves a load. The maps are unrolled by
// their index, so that the pointers stay in registers.
template <std::size_t... kMaps>
long long Joiner::sweepMasks(int x, int last, std::index_sequence<kMaps...>) {
  std::array<const unsigned char*, sizeof...(kMaps)> at;
  std::array<unsigned, sizeof...(kMaps)> shift;
  for (std::size_t m = 0; m < at.size(); ++m) {
    const long long bit = x_.masks[m].origin(x) + block_.first;
    at[m] = x_.masks[m].bytes.data() + (bit >> 3);
    shift[m] = static_cast<unsigned>(bit & 7);
  }
  constexpr std::uint64_t kWholeStep = (std::uint64_t{1} << kSkipsPerStep) - 1;
  long long steps = 0;
  for (int base = block_.first;; base += kSkipsPerStep) {
    ++steps;
    const int left = last - base;
    std::uint64_t mask = left >= kSkipsPerStep - 1 ? kWholeStep : (std::uint64_t{2} << left) - 1;
    mask = (mask & ... & (loadBytes(at[kMaps]) >> shift[kMaps]));
    ((at[kMaps] += kSkipsPerStep / 8), ...);
    while (mask != 0) {
      confirm(x, base + std::countr_zero(mask), 0);
      mask &= mask - 1;
    }
    if (left < kSkipsPerStep) return steps;
  }
}

#if ELSSCAN_X86_VECTORS
// The same sweep 256 skips a step, for processors with AVX2. Each 64-bit
// lane of a step takes the 64 bits from its byte on, shifted down by the
// anchor's bit offset, with the next 8 bytes' low bits shifted in above (a
// shift by 64 gives 0, as the offset 0 needs). Every map has room behind
// its bits for the 40 bytes that a step reads. The whole steps run in a
// loop of their own that calls nothing, so that the maps' pointers and
// shifts stay in registers; a step with bits left leaves it for the checks.
template <std::size_t... kMaps>
ELSSCAN_TARGET_AVX2 long long Joiner::sweepMasksWide(int x, int last,
                                                     std::index_sequence<kMaps...> maps) {
  constexpr std::size_t kCount = sizeof...(kMaps);
  const unsigned char* at[kCount];
  __m128i down[kCount];
  __m128i up[kCount];
  for (std::size_t m = 0; m < kCount; ++m) {
    const long long bit = x_.masks[m].origin(x) + block_.first;
    at[m] = x_.masks[m].bytes.data() + (bit >> 3);
    const auto shift = static_cast<int>(bit & 7);
    down[m] = _mm_cvtsi32_si128(shift);
    up[m] = _mm_cvtsi32_si128(64 - shift);
  }
  const int span = last - block_.first + 1;
  const std::ptrdiff_t whole = span / kSkipsPerWideStep;
  const int rest = span % kSkipsPerWideStep;
  std::ptrdiff_t k = 0;
  for (;;) {
    __m256i mask = _mm256_setzero_si256();
    while (k < whole) {
      mask = wideStep(at, down, up, k, maps);
      if (_mm256_testz_si256(mask, mask) == 0) break;
      ++k;
    }
    if (k == whole) {
      if (rest == 0) break;
      // Only the bits of skips up to last count.
      std::uint64_t keep[4];
      for (int lane = 0; lane < 4; ++lane) {
        const int bits = std::clamp(rest - 64 * lane, 0, 64);
        keep[lane] = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
      }
      mask = _mm256_and_si256(wideStep(at, down, up, k, maps),
                              _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keep)));
    }
    alignas(32) std::uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), mask);
    const int base = block_.first + static_cast<int>(k) * kSkipsPerWideStep;
    for (int lane = 0; lane < 4; ++lane) {
      for (std::uint64_t bits = lanes[lane]; bits != 0; bits &= bits - 1) {
        confirm(x, base + 64 * lane + std::countr_zero(bits), 0);
      }
    }
    if (k == whole) break;
    ++k;
  }
  return whole + (rest > 0 ? 1 : 0);
}
#endif

// Tests the remaining letters and keeps the hit.
void Joiner::confirm(int x, int skip, std::size_t first_check) {
  const unsigned char* at = x_.text + x;
  for (std::size_t k = first_check; k < x_.checks.size(); ++k) {
    if (at[x_.checks[k].offset * skip] != x_.checks[k].letter) return;
  }
  out_->add(skip - block_.first, x - x_.anchor_index * skip + 1);
  work_ += kHitWork;
}

}  // namespace

void joinAnchors(LetterIndex* index, const Block& block, int anchor_lo, int anchor_hi,
                 BlockHits* out) {
  out->begin(block.end - block.first);
  Joiner joiner(index, block, out);
  for (int anchor = anchor_lo; anchor < anchor_hi; ++anchor) {
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
