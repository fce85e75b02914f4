// The instructions of each width of the masks' steps, one struct per
// width, for the sweep of the masks in join.cc; a width's skips, cost, reads
// and processor check are its row in mask_steps.h. A wide width's functions
// may run only where maskWidthMissing says that the processor has them.
#ifndef SRC_SEARCH_MASK_STEP_OPS_H_
#define SRC_SEARCH_MASK_STEP_OPS_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "search/mask_steps.h"
#include "util/byte_words.h"
#include "util/cpu_features.h"

#if ELSSCAN_X86_VECTORS
#include <immintrin.h>
#endif

// The sweep keeps, per map, where the anchor's bits begin (at) and its bit
// offset as the width takes it (Shift); bit b of step k's Mask, in lanes of
// 64 bits, stands for the skip (the width's skips) x k + b from the sweep's
// first. sweep() enters the sweeper's sweepMasks<Steps> (join.cc) over
// kCount maps for a range of anchors, which is inlined there and so takes
// the width's instructions.
//
// 56 skips a step, in 64-bit integers, on any processor: 8 bytes shifted
// down by the anchor's bit offset (at most 7) leave 57 good bits, of which
// 56 (7 whole bytes) are used.
struct Steps56 {
  static constexpr MaskWidth kWidth = MaskWidth::kPortable;
  static constexpr int kSkips = maskWidthRow(kWidth).skips;
  static constexpr std::size_t kLanes = 1;
  using Mask = std::uint64_t;
  using Shift = int;

  template <typename Sweeper, std::size_t kCount>
  static void sweep(Sweeper* sweeper, int begin, int end) {
    sweeper->template sweepMasks<Steps56>(begin, end, std::make_index_sequence<kCount>());
  }

  static void setShift(int bits, Shift* shift) { *shift = bits; }

  // Step k's mask into *mask; true when a bit of it is set.
  template <std::size_t... kMaps>
  static bool take(const unsigned char* const* at, const Shift* shift, std::ptrdiff_t k,
                   std::index_sequence<kMaps...>, Mask* mask) {
    constexpr std::uint64_t kWholeStep = (std::uint64_t{1} << kSkips) - 1;
    const std::ptrdiff_t offset = k * (kSkips / 8);
    *mask = (kWholeStep & ... & (loadBytes(at[kMaps] + offset) >> shift[kMaps]));
    return *mask != 0;
  }

  // Keeps the bits of the first rest skips of *mask (0 < rest < kSkips);
  // true when one of them is set.
  static bool keepFirst(int rest, Mask* mask) {
    *mask &= (std::uint64_t{1} << rest) - 1;
    return *mask != 0;
  }

  static void store(const Mask& mask, std::uint64_t (&lanes)[kLanes]) { lanes[0] = mask; }
};

#if ELSSCAN_X86_VECTORS
// 256 skips a step, in AVX2 vectors. Each 64-bit lane takes the 64 bits
// from its byte on, shifted down by the anchor's bit offset, with the next
// 8 bytes' low bits shifted in above (a shift by 64 gives 0, as the offset
// 0 needs).
struct Steps256 {
  static constexpr MaskWidth kWidth = MaskWidth::kAvx2;
  static constexpr int kSkips = maskWidthRow(kWidth).skips;
  static constexpr std::size_t kLanes = 4;
  using Mask = __m256i;
  // The offset's shift down in the low 64 bits, and the next 8 bytes' shift
  // up in the high 64 bits.
  using Shift = __m128i;

  template <typename Sweeper, std::size_t kCount>
  ELSSCAN_TARGET_AVX2 static void sweep(Sweeper* sweeper, int begin, int end) {
    sweeper->template sweepMasks<Steps256>(begin, end, std::make_index_sequence<kCount>());
  }

  ELSSCAN_TARGET_AVX2 static void setShift(int bits, Shift* shift) {
    *shift = _mm_set_epi64x(64 - bits, bits);
  }

  template <std::size_t... kMaps>
  ELSSCAN_TARGET_AVX2 static bool take(const unsigned char* const* at, const Shift* shift,
                                       std::ptrdiff_t k, std::index_sequence<kMaps...>,
                                       Mask* mask) {
    const std::ptrdiff_t offset = k * (kSkips / 8);
    __m256i bits = _mm256_set1_epi64x(-1);
    ((bits = _mm256_and_si256(
          bits, _mm256_or_si256(
                    _mm256_srl_epi64(
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at[kMaps] + offset)),
                        shift[kMaps]),
                    _mm256_sll_epi64(_mm256_loadu_si256(
                                         reinterpret_cast<const __m256i*>(at[kMaps] + offset + 8)),
                                     _mm_unpackhi_epi64(shift[kMaps], shift[kMaps]))))),
     ...);
    *mask = bits;
    return _mm256_testz_si256(bits, bits) == 0;
  }

  // Lane k keeps rest - 64 x k bits: all of them from 64 on (a shift by 64
  // or more gives 0), none below 0.
  ELSSCAN_TARGET_AVX2 static bool keepFirst(int rest, Mask* mask) {
    const __m256i bits =
        _mm256_sub_epi64(_mm256_set1_epi64x(rest), _mm256_set_epi64x(192, 128, 64, 0));
    const __m256i low = _mm256_andnot_si256(_mm256_sllv_epi64(_mm256_set1_epi64x(-1), bits),
                                            _mm256_cmpgt_epi64(bits, _mm256_set1_epi64x(-1)));
    *mask = _mm256_and_si256(*mask, low);
    return _mm256_testz_si256(*mask, *mask) == 0;
  }

  ELSSCAN_TARGET_AVX2 static void store(const Mask& mask, std::uint64_t (&lanes)[kLanes]) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), mask);
  }
};

// 512 skips a step, in AVX-512 vectors, where one double shift per lane
// takes the bits of both loads.
struct Steps512 {
  static constexpr MaskWidth kWidth = MaskWidth::kAvx512;
  static constexpr int kSkips = maskWidthRow(kWidth).skips;
  static constexpr std::size_t kLanes = 8;
  using Mask = __m512i;
  using Shift = __m512i;

  template <typename Sweeper, std::size_t kCount>
  ELSSCAN_TARGET_AVX512 static void sweep(Sweeper* sweeper, int begin, int end) {
    sweeper->template sweepMasks<Steps512>(begin, end, std::make_index_sequence<kCount>());
  }

  ELSSCAN_TARGET_AVX512 static void setShift(int bits, Shift* shift) {
    *shift = _mm512_set1_epi64(bits);
  }

  template <std::size_t... kMaps>
  ELSSCAN_TARGET_AVX512 static bool take(const unsigned char* const* at, const Shift* shift,
                                         std::ptrdiff_t k, std::index_sequence<kMaps...>,
                                         Mask* mask) {
    const std::ptrdiff_t offset = k * (kSkips / 8);
    __m512i bits = _mm512_set1_epi64(-1);
    ((bits = _mm512_and_si512(
          bits, _mm512_shrdv_epi64(_mm512_loadu_si512(at[kMaps] + offset),
                                   _mm512_loadu_si512(at[kMaps] + offset + 8), shift[kMaps]))),
     ...);
    *mask = bits;
    return _mm512_test_epi64_mask(bits, bits) != 0;
  }

  // As for Steps256, in 8 lanes.
  ELSSCAN_TARGET_AVX512 static bool keepFirst(int rest, Mask* mask) {
    const __m512i bits = _mm512_sub_epi64(_mm512_set1_epi64(rest),
                                          _mm512_set_epi64(448, 384, 320, 256, 192, 128, 64, 0));
    const __mmask8 some = _mm512_cmpgt_epi64_mask(bits, _mm512_setzero_si512());
    const __m512i ones = _mm512_set1_epi64(-1);
    const __m512i low =
        _mm512_maskz_andnot_epi64(some, _mm512_maskz_sllv_epi64(some, ones, bits), ones);
    *mask = _mm512_and_si512(*mask, low);
    return _mm512_test_epi64_mask(*mask, *mask) != 0;
  }

  ELSSCAN_TARGET_AVX512 static void store(const Mask& mask, std::uint64_t (&lanes)[kLanes]) {
    _mm512_store_si512(lanes, mask);
  }
};
#endif

#endif  // SRC_SEARCH_MASK_STEP_OPS_H_
