#include "text/text_filter.h"

#include <cstdint>
#include <cstring>

#include "core/main_info.h"
#include "util/byte_words.h"

namespace {

constexpr unsigned char kEndOfData = 0x1A;  // Ctrl-Z ends a text file's data

// Eight bytes at a time (util/byte_words.h).
constexpr std::uint64_t kEveryByte = 0x0101010101010101;
constexpr std::uint64_t kHighBits = kEveryByte * 0x80;

// The high bit of every byte of word whose value is below the limit that
// subtrahend repeats in every byte, and maybe of bytes after such a byte; 0
// when there is none. REQUIRES: limit <= 0x80, where the borrow of a byte
// below the limit reaches its high bit and no byte of the limit or above can
// fake one.
std::uint64_t bytesBelow(std::uint64_t word, std::uint64_t subtrahend) {
  return (word - subtrahend) & ~word & kHighBits;
}

// True when word holds a NUL or a 0x1A, where the text ends.
bool endsText(std::uint64_t word) {
  return bytesBelow(word, kEveryByte) != 0 ||
         bytesBelow(word ^ (kEveryByte * kEndOfData), kEveryByte) != 0;
}

// The index of the first word (of the words from `from` on, eight bytes
// apart) that has a byte below the limit that limit_bytes repeats, or of the
// first place where fewer than eight bytes are left before end.
std::size_t firstWordBelow(const unsigned char* bytes, std::size_t from, std::size_t end,
                           std::uint64_t limit_bytes) {
  std::size_t i = from;
  // Four words a step over long runs, then one.
  while (end - i >= 32 && (bytesBelow(loadBytes(bytes + i), limit_bytes) |
                           bytesBelow(loadBytes(bytes + i + 8), limit_bytes) |
                           bytesBelow(loadBytes(bytes + i + 16), limit_bytes) |
                           bytesBelow(loadBytes(bytes + i + 24), limit_bytes)) == 0) {
    i += 32;
  }
  while (end - i >= 8 && bytesBelow(loadBytes(bytes + i), limit_bytes) == 0) i += 8;
  return i;
}

// Moves the length bytes at from down to to (to <= from). A short run goes
// a word at a time: each word is read before the store that may cover it.
void moveRun(unsigned char* bytes, std::size_t to, std::size_t from, std::size_t length) {
  if (to == from) return;
  if (length >= 256) {
    std::memmove(bytes + to, bytes + from, length);
    return;
  }
  for (std::size_t k = 0; k < length; k += 8) {
    storeBytes(bytes + to + k, loadBytes(bytes + from + k));
  }
}

// Keeps the bytes of [*at, end) that are not line breaks (nor, with
// kRemoveSpaces, of value 0x20 or below), storing them from kept on; returns
// the new kept. Stops at a NUL or 0x1A, setting *ended.
template <bool kRemoveSpaces>
std::size_t keepBytes(unsigned char* bytes, std::size_t kept, std::size_t* at, std::size_t end,
                      bool* ended) {
  const auto keeps = [](unsigned char byte) {
    return kRemoveSpaces ? byte > 0x20 : byte != '\n' && byte != '\r';
  };
  // Every byte that is dropped or ends the text lies below this limit;
  // without -c a tab or another control byte may too, and is kept.
  const std::uint64_t limit_bytes = kEveryByte * (kRemoveSpaces ? 0x21 : kEndOfData + 1);
  std::size_t i = *at;
  while (end - i >= 8) {
    const std::uint64_t word = loadBytes(bytes + i);
    if (bytesBelow(word, limit_bytes) == 0) {
      // Words whose bytes are all kept move as a run.
      const std::size_t run_end = firstWordBelow(bytes, i + 8, end, limit_bytes);
      moveRun(bytes, kept, i, run_end - i);
      kept += run_end - i;
      i = run_end;
      continue;
    }
    // A word with a byte to act on: NUL or 0x1A end the text within it.
    if (endsText(word)) break;
    // Otherwise each byte is stored and counted only if kept: no branch on
    // bytes that come as they please.
    for (const std::size_t stop = i + 8; i < stop; ++i) {
      bytes[kept] = bytes[i];
      kept += keeps(bytes[i]) ? 1u : 0u;
    }
  }
  // The last bytes, and the word where the text ends, one by one.
  for (; i < end; ++i) {
    if (bytes[i] == kEndOfData || bytes[i] == '\0') {
      *ended = true;
      break;
    }
    bytes[kept] = bytes[i];
    kept += keeps(bytes[i]) ? 1u : 0u;
  }
  *at = i;
  return kept;
}

// Shift-JIS as --letters reads it: a lead byte, and the byte after it that
// makes a double-byte character with it.
constexpr bool isCharacterLead(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
constexpr bool isCharacterTrail(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }
// The full-width space, punctuation and symbols.
constexpr unsigned char kSymbolLead = 0x81;
constexpr bool isHalfWidthKatakana(unsigned char b) { return b >= 0xA6 && b <= 0xDF; }

// 1 for an ASCII letter of either case, else 0; b & 0xDF is its upper case.
unsigned asciiLetter(unsigned char b) { return static_cast<unsigned>((b | 0x20) - 'a') < 26u; }

// The high bit of every byte of an ASCII word that is no upper-case letter,
// and maybe of bytes after such a byte; 0 when all eight are.
std::uint64_t notUpperCase(std::uint64_t word) {
  return bytesBelow(word, kEveryByte * 'A') | ((word + kEveryByte * (0x80 - 'Z' - 1)) & kHighBits);
}

// The index of the first word from `from` on that is not eight upper-case
// letters, or of the first place where fewer than eight bytes are left.
std::size_t firstWordNotUpperCase(const unsigned char* bytes, std::size_t from, std::size_t end) {
  std::size_t i = from;
  while (end - i >= 8) {
    const std::uint64_t word = loadBytes(bytes + i);
    if ((word & kHighBits) != 0 || notUpperCase(word) != 0) break;
    i += 8;
  }
  return i;
}

// keepBytes for --letters. A lead byte whose trail byte lies past n (the
// chunk's end, which may lie past end) is left at *at, unread.
std::size_t keepLetters(unsigned char* bytes, std::size_t kept, std::size_t* at, std::size_t end,
                        std::size_t n, bool* ended) {
  std::size_t i = *at;
  while (i < end) {
    if (end - i >= 8) {
      const std::uint64_t word = loadBytes(bytes + i);
      if ((word & kHighBits) == 0 && notUpperCase(word) == 0) {
        // Words of upper-case letters alone move as a run.
        const std::size_t run_end = firstWordNotUpperCase(bytes, i + 8, end);
        moveRun(bytes, kept, i, run_end - i);
        kept += run_end - i;
        i = run_end;
        continue;
      }
      if ((word & kHighBits) == 0 && !endsText(word)) {
        // Eight ASCII bytes: each stored in upper case, counted if a letter.
        for (const std::size_t stop = i + 8; i < stop; ++i) {
          bytes[kept] = bytes[i] & 0xDF;
          kept += asciiLetter(bytes[i]);
        }
        continue;
      }
    }
    const unsigned char b = bytes[i];
    if (b == kEndOfData || b == '\0') {
      *ended = true;
      break;
    }
    if (b < 0x80) {
      bytes[kept] = b & 0xDF;
      kept += asciiLetter(b);
      ++i;
    } else if (isCharacterLead(b)) {
      if (i + 1 == n) break;
      const unsigned char trail = bytes[i + 1];
      if (!isCharacterTrail(trail)) {
        // A lead byte without its trail byte is dropped alone.
        ++i;
        continue;
      }
      if (b != kSymbolLead) {
        bytes[kept] = b;
        bytes[kept + 1] = trail;
        kept += 2;
      }
      i += 2;
    } else {
      if (isHalfWidthKatakana(b)) bytes[kept++] = b;
      ++i;
    }
  }
  *at = i;
  return kept;
}

// The text bytes of [*at, end) by the rules, kept from kept on.
std::size_t keepText(const FilterRules& rules, unsigned char* bytes, std::size_t kept,
                     std::size_t* at, std::size_t end, std::size_t n, bool* ended) {
  if (rules.letters) return keepLetters(bytes, kept, at, end, n, ended);
  if (rules.remove_spaces) return keepBytes<true>(bytes, kept, at, end, ended);
  return keepBytes<false>(bytes, kept, at, end, ended);
}

bool isBlank(unsigned char b) { return b == ' ' || b == '\t'; }

// Passes over the label from *at on. Returns false when the chunk ends first.
bool passLabel(const unsigned char* bytes, std::size_t* at, std::size_t n, FilterState* state) {
  std::size_t i = *at;
  while (i < n && !isBlank(bytes[i]) && bytes[i] != '\r' && bytes[i] != '\n' &&
         bytes[i] != kEndOfData && bytes[i] != '\0') {
    ++i;
  }
  *at = i;
  if (i == n) return false;
  if (bytes[i] == kEndOfData || bytes[i] == '\0') {
    state->ended = true;
  } else if (bytes[i] == '\n') {
    *at = i + 1;
  } else {
    state->part = LinePart::kGap;
  }
  return true;
}

// Passes over the blanks, tabs and CRs after a label.
bool passGap(const unsigned char* bytes, std::size_t* at, std::size_t n, FilterState* state) {
  std::size_t i = *at;
  while (i < n && (isBlank(bytes[i]) || bytes[i] == '\r')) ++i;
  *at = i;
  if (i == n) return false;
  if (bytes[i] == '\n') {
    state->part = LinePart::kLabel;
    *at = i + 1;
  } else {
    state->part = LinePart::kText;
  }
  return true;
}

}  // namespace

FilterRules currentFilterRules() {
  return {removeSpaces != 0 || lettersOnly != 0, lettersOnly != 0, lineLabels != 0};
}

FilterState startOfFile(const FilterRules& rules) {
  FilterState state;
  state.part = rules.labels ? LinePart::kLabel : LinePart::kText;
  return state;
}

std::size_t filterChunk(const FilterRules& rules, unsigned char* bytes, std::size_t n,
                        FilterState* state, std::size_t* used) {
  std::size_t kept = 0;
  std::size_t i = 0;
  while (i < n && !state->ended) {
    if (state->part == LinePart::kLabel) {
      if (!passLabel(bytes, &i, n, state)) break;
      continue;
    }
    if (state->part == LinePart::kGap) {
      if (!passGap(bytes, &i, n, state)) break;
      continue;
    }
    // Without labels the whole chunk is text; with them, up to the line's end.
    std::size_t end = n;
    if (rules.labels) {
      const void* lf = std::memchr(bytes + i, '\n', n - i);
      if (lf != nullptr)
        end = static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - bytes);
    }
    kept = keepText(rules, bytes, kept, &i, end, n, &state->ended);
    // A lead byte left for the next chunk.
    if (state->ended || i < end) break;
    if (end < n) {
      state->part = LinePart::kLabel;
      i = end + 1;
    }
  }
  *used = state->ended ? n : i;
  return kept;
}

void foldLetters(char* s) {
  auto* p = reinterpret_cast<unsigned char*>(s);
  while (*p != '\0') {
    if (isCharacterLead(*p) && isCharacterTrail(p[1])) {
      p += 2;
      continue;
    }
    if (*p >= 'a' && *p <= 'z') *p = static_cast<unsigned char>(*p - 'a' + 'A');
    ++p;
  }
}
