// Where a letter stands among 64 bytes of the text, as the bits of one
// word, and the bits of a word reversed: the letter index's passes over the
// text are built on them, and on the words of util/byte_words.h, which the
// masks' sweep reads the maps with.
#ifndef SRC_SEARCH_LETTER_BITS_H_
#define SRC_SEARCH_LETTER_BITS_H_

#include <cstdint>

#include "util/byte_words.h"
#include "util/cpu_features.h"

#if ELSSCAN_X86_VECTORS
#include <emmintrin.h>
#endif

// Bit k set where p[k] equals letter, for k from 0 to 63, on any processor:
// 8 bytes a step, where a byte that equals the letter becomes 0 and is
// found without a carry into its neighbours, and the 8 top bits are
// gathered by one multiplication (every product bit comes from one pair of
// factor bits, so nothing carries). Reads p[0] to p[63].
inline std::uint64_t letterBitsPortable(const unsigned char* p, unsigned char letter) {
  constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7f;
  constexpr std::uint64_t kGather = 0x0102040810204080;
  const std::uint64_t spread = std::uint64_t{0x0101010101010101} * letter;
  std::uint64_t bits = 0;
  for (int k = 0; k < 8; ++k) {
    const std::uint64_t x = loadBytes(p + 8 * k) ^ spread;
    const std::uint64_t zero_tops = ~(((x & kLow7) + kLow7) | x | kLow7);
    bits |= ((zero_tops >> 7) * kGather) >> 56 << (8 * k);
  }
  return bits;
}

// The same, 16 bytes a step where the processor is an x86-64 one (whose
// baseline has these instructions).
inline std::uint64_t letterBits(const unsigned char* p, unsigned char letter) {
#if ELSSCAN_X86_VECTORS
  const __m128i spread = _mm_set1_epi8(static_cast<char>(letter));
  std::uint64_t bits = 0;
  for (int k = 0; k < 4; ++k) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const auto equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, spread)));
    bits |= std::uint64_t{equal} << (16 * k);
  }
  return bits;
#else
  return letterBitsPortable(p, letter);
#endif
}

// Bit k of value moved to bit 63 - k.
inline std::uint64_t reverseBits(std::uint64_t value) {
  value = (value >> 1 & 0x5555555555555555) | (value & 0x5555555555555555) << 1;
  value = (value >> 2 & 0x3333333333333333) | (value & 0x3333333333333333) << 2;
  value = (value >> 4 & 0x0f0f0f0f0f0f0f0f) | (value & 0x0f0f0f0f0f0f0f0f) << 4;
  value = (value >> 8 & 0x00ff00ff00ff00ff) | (value & 0x00ff00ff00ff00ff) << 8;
  value = (value >> 16 & 0x0000ffff0000ffff) | (value & 0x0000ffff0000ffff) << 16;
  return value >> 32 | value << 32;
}

#endif  // SRC_SEARCH_LETTER_BITS_H_
