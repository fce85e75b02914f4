// Eight bytes read or written as one word, the first byte in the lowest
// bits, from any address: the loader's and the bit maps' passes over bytes
// a word at a time are built on them.
#ifndef SRC_UTIL_BYTE_WORDS_H_
#define SRC_UTIL_BYTE_WORDS_H_

#include <bit>
#include <cstdint>
#include <cstring>

// The 8 bytes from p on, the first in the lowest bits.
inline std::uint64_t loadBytes(const unsigned char* p) {
  std::uint64_t value = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, p, sizeof value);
  } else {
    for (int k = 7; k >= 0; --k) value = value << 8 | p[k];
  }
  return value;
}

// Writes value to the 8 bytes from p on, its lowest bits first.
inline void storeBytes(unsigned char* p, std::uint64_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &value, sizeof value);
  } else {
    for (int k = 0; k < 8; ++k) p[k] = static_cast<unsigned char>(value >> (8 * k));
  }
}

#endif  // SRC_UTIL_BYTE_WORDS_H_
