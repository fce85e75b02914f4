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

// Costs in units of one screened pair, measured on an English text: a step
// of the masks, setting an anchor up for a block of masks, and a hit.
constexpr long long kStepWork = 2;
constexpr long long kAnchorWork = 8;
constexpr long long kHitWork = 8;
#if ELSSCAN_X86_VECTORS
// Steps of 256 skips with 256-bit vectors, and of 512 with 512-bit ones.
constexpr long long kStep256Work = 4;
constexpr long long kStep512Work = 6;
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

#if ELSSCAN_X86_VECTORS
// Step k of a sweep of 256 skips a step over the maps at `at`: bit b of the
// result stands for the skip 256 k + b from the sweep's first. Each 64-bit
// lane takes the 64 bits from its byte on, shifted down by the anchor's bit
// offset, with the next 8 bytes' low bits shifted in above (a shift by 64
// gives 0, as the offset 0 needs).
template <std::size_t... kMaps>
ELSSCAN_TARGET_AVX2 inline __m256i step256(const unsigned char* const* at, const __m128i* down,
                                           const __m128i* up, std::ptrdiff_t k,
                                           std::index_sequence<kMaps...>) {
  const std::ptrdiff_t offset = k * (256 / 8);
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

// The same for 512 skips a step, where one double shift per lane takes the
// bits of both loads.
template <std::size_t... kMaps>
ELSSCAN_TARGET_AVX512 inline __m512i step512(const unsigned char* const* at, const __m512i* shift,
                                             std::ptrdiff_t k, std::index_sequence<kMaps...>) {
  const std::ptrdiff_t offset = k * (512 / 8);
  __m512i mask = _mm512_set1_epi64(-1);
  ((mask = _mm512_and_si512(
        mask, _mm512_shrdv_epi64(_mm512_loadu_si512(at[kMaps] + offset),
                                 _mm512_loadu_si512(at[kMaps] + offset + 8), shift[kMaps]))),
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
  ELSSCAN_TARGET_AVX2 long long sweepMasks256(int x, int last, std::index_sequence<kMaps...>);
  template <std::size_t... kMaps>
  ELSSCAN_TARGET_AVX512 long long sweepMasks512(int x, int last, std::index_sequence<kMaps...>);
#endif
  void firstBits(int x, std::size_t m, const unsigned char** at, int* shift) const;
  template <std::size_t kLanes>
  void confirmLanes(int x, int base, const std::uint64_t (&lanes)[kLanes]);
  void confirm(int x, int skip, std::size_t first_check);

  LetterIndex& x_;
  const Block& block_;
  BlockHits* out_;
  long long work_ = 0;  // kept here, not in out_, while the thread joins
  int batch_[kMaxPairsPerBatch];
};

// Pairs one anchor with every partner of its class at a skip of the block
// at which the start fits. The pairs go in batches: the first check is done
// on every pair of a batch without a branch, keeping the survivors for the
// other checks. Partner quotients of
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
  const int batch = x_.pairs_per_batch;
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
    for (int k = 0; k < kept; ++k) confirm(x, batch_[k], 1);
    if (next < batch_end) break;
  }
  work_ += next - cursor;
  cursor = next;
}

// Tests one anchor against the masks, as many skips a step as the index's
// step says.
void Joiner::joinMasks(int anchor) {
  const int x = x_.anchors[static_cast<std::size_t>(anchor)];
  const int last = block_.lastSkip(x);
  if (last < block_.first) return;
  const std::size_t maps = x_.masks.size();
  switch (x_.step) {
#if ELSSCAN_X86_VECTORS
    case MaskStep::kAvx512:
      work_ +=
          kStep512Work * byMaskCount(maps, [&](auto seq) { return sweepMasks512(x, last, seq); });
      break;
    case MaskStep::kAvx2:
      work_ +=
          kStep256Work * byMaskCount(maps, [&](auto seq) { return sweepMasks256(x, last, seq); });
      break;
#endif
    default:
      work_ += kStepWork * byMaskCount(maps, [&](auto seq) { return sweepMasks(x, last, seq); });
      break;
  }
  work_ += kAnchorWork;
}

// Where map m holds the bit of anchor x's first skip in the block: its byte
// and its bit within the byte.
void Joiner::firstBits(int x, std::size_t m, const unsigned char** at, int* shift) const {
  const long long bit = x_.masks[m].origin(x) + block_.first;
  *at = x_.masks[m].bytes.data() + (bit >> 3);
  *shift = static_cast<int>(bit & 7);
}

// Confirms the skips whose bits are set in lanes, 64 skips a lane from base
// on, in ascending order.
template <std::size_t kLanes>
void Joiner::confirmLanes(int x, int base, const std::uint64_t (&lanes)[kLanes]) {
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    for (std::uint64_t bits = lanes[lane]; bits != 0; bits &= bits - 1) {
      confirm(x, base + 64 * static_cast<int>(lane) + std::countr_zero(bits), 0);
    }
  }
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
  std::array<int, sizeof...(kMaps)> shift;
  for (std::size_t m = 0; m < at.size(); ++m) firstBits(x, m, &at[m], &shift[m]);
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
// The same sweep 256 skips a step, for processors with AVX2 (step256).
// Every map has room behind its bits for the 40 bytes that a step reads.
// The whole steps run in a loop of their own that calls nothing, so that
// the maps' pointers and shifts stay in registers; a step with bits left
// leaves it for the checks.
template <std::size_t... kMaps>
ELSSCAN_TARGET_AVX2 long long Joiner::sweepMasks256(int x, int last,
                                                    std::index_sequence<kMaps...> maps) {
  constexpr std::size_t kCount = sizeof...(kMaps);
  constexpr int kSkips = 256;
  const unsigned char* at[kCount];
  __m128i down[kCount];
  __m128i up[kCount];
  for (std::size_t m = 0; m < kCount; ++m) {
    int shift = 0;
    firstBits(x, m, &at[m], &shift);
    down[m] = _mm_cvtsi32_si128(shift);
    up[m] = _mm_cvtsi32_si128(64 - shift);
  }
  const int span = last - block_.first + 1;
  const std::ptrdiff_t whole = span / kSkips;
  const int rest = span % kSkips;
  for (std::ptrdiff_t k = 0;; ++k) {
    __m256i mask = _mm256_setzero_si256();
    for (; k < whole; ++k) {
      mask = step256(at, down, up, k, maps);
      if (_mm256_testz_si256(mask, mask) == 0) break;
    }
    if (k == whole) {
      if (rest == 0) break;
      const auto keep = lastStepLanes<4>(rest);
      mask = _mm256_and_si256(step256(at, down, up, k, maps),
                              _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keep.data())));
    }
    alignas(32) std::uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), mask);
    confirmLanes(x, block_.first + static_cast<int>(k) * kSkips, lanes);
    if (k == whole) break;
  }
  return whole + (rest > 0 ? 1 : 0);
}

// The same sweep 512 skips a step, for processors with AVX-512 and its
// double shifts (step512). Every map has room behind its bits for the 72
// bytes that a step reads.
template <std::size_t... kMaps>
ELSSCAN_TARGET_AVX512 long long Joiner::sweepMasks512(int x, int last,
                                                      std::index_sequence<kMaps...> maps) {
  constexpr std::size_t kCount = sizeof...(kMaps);
  constexpr int kSkips = 512;
  const unsigned char* at[kCount];
  __m512i shifts[kCount];
  for (std::size_t m = 0; m < kCount; ++m) {
    int shift = 0;
    firstBits(x, m, &at[m], &shift);
    shifts[m] = _mm512_set1_epi64(shift);
  }
  const int span = last - block_.first + 1;
  const std::ptrdiff_t whole = span / kSkips;
  const int rest = span % kSkips;
  for (std::ptrdiff_t k = 0;; ++k) {
    __m512i mask = _mm512_setzero_si512();
    for (; k < whole; ++k) {
      mask = step512(at, shifts, k, maps);
      if (_mm512_test_epi64_mask(mask, mask) != 0) break;
    }
    if (k == whole) {
      if (rest == 0) break;
      const auto keep = lastStepLanes<8>(rest);
      mask = _mm512_and_si512(step512(at, shifts, k, maps), _mm512_loadu_si512(keep.data()));
    }
    alignas(64) std::uint64_t lanes[8];
    _mm512_store_si512(lanes, mask);
    confirmLanes(x, block_.first + static_cast<int>(k) * kSkips, lanes);
    if (k == whole) break;
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
