#include "text/loader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/main_info.h"
#include "util/byte_words.h"
#include "util/interrupt.h"
#include "util/memory.h"
#include "util/message.h"
#include "util/platform.h"

// A megabyte is read at a time: few enough calls to the system, and a chunk
// that is still in the processor's cache when it is filtered; at memory speed
// it also keeps a Ctrl-C waiting well under a millisecond.
LoaderTuning loaderTuning = {1 << 20, nullptr};

namespace {

constexpr unsigned char kEndOfData = 0x1A;  // Ctrl-Z ends a text file's data

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

void pollBetweenChunks() {
  if (loaderTuning.poll_hook != nullptr) loaderTuning.poll_hook();
  pollInterrupt();
}

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

// The index of the first byte in [from, end) of value 0x80 or above, or end.
std::size_t firstHigh(const unsigned char* bytes, std::size_t from, std::size_t end) {
  std::size_t i = from;
  while (end - i >= 32 && ((loadBytes(bytes + i) | loadBytes(bytes + i + 8) |
                            loadBytes(bytes + i + 16) | loadBytes(bytes + i + 24)) &
                           kHighBits) == 0) {
    i += 32;
  }
  while (end - i >= 8 && (loadBytes(bytes + i) & kHighBits) == 0) i += 8;
  while (i < end && bytes[i] < 0x80) ++i;
  return i;
}

// The index of the first word (of the words from `from` on, eight bytes
// apart) that has a byte below the limit that below repeats, or of the first
// place where fewer than eight bytes are left before end.
std::size_t firstWordBelow(const unsigned char* bytes, std::size_t from, std::size_t end,
                           std::uint64_t below) {
  std::size_t i = from;
  // Four words a step over long runs, then one.
  while (end - i >= 32 &&
         (bytesBelow(loadBytes(bytes + i), below) | bytesBelow(loadBytes(bytes + i + 8), below) |
          bytesBelow(loadBytes(bytes + i + 16), below) |
          bytesBelow(loadBytes(bytes + i + 24), below)) == 0) {
    i += 32;
  }
  while (end - i >= 8 && bytesBelow(loadBytes(bytes + i), below) == 0) i += 8;
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

// Filters the n bytes at chunk in place: moves the bytes that the text keeps
// to its front and returns how many they are. Sets *ended at the first 0x1A
// or NUL, where the text ends; nothing from there on is kept. The bytes kept
// never run ahead of the bytes read, so a store only overwrites bytes that
// were read already.
template <bool kRemoveSpaces>
std::size_t keepTextBytes(unsigned char* bytes, std::size_t n, bool* ended) {
  const auto keeps = [](unsigned char byte) {
    return kRemoveSpaces ? byte > 0x20 : byte != '\n' && byte != '\r';
  };
  // Every byte that is dropped or ends the text lies below this limit;
  // without -c a tab or another control byte may too, and is kept.
  const std::uint64_t below = kEveryByte * (kRemoveSpaces ? 0x21 : kEndOfData + 1);
  std::size_t kept = 0;
  std::size_t i = 0;
  while (n - i >= 8) {
    const std::uint64_t word = loadBytes(bytes + i);
    if (bytesBelow(word, below) == 0) {
      // Words whose bytes are all kept move as a run.
      const std::size_t run_end = firstWordBelow(bytes, i + 8, n, below);
      moveRun(bytes, kept, i, run_end - i);
      kept += run_end - i;
      i = run_end;
      continue;
    }
    // A word with a byte to act on: NUL or 0x1A end the text within it.
    if (bytesBelow(word, kEveryByte) != 0 ||
        bytesBelow(word ^ (kEveryByte * kEndOfData), kEveryByte) != 0) {
      break;
    }
    // Otherwise each byte is stored and counted only if kept: no branch on
    // bytes that come as they please.
    for (const std::size_t stop = i + 8; i < stop; ++i) {
      bytes[kept] = bytes[i];
      kept += keeps(bytes[i]) ? 1u : 0u;
    }
  }
  // The last bytes, and the word where the text ends, one by one.
  for (; i < n; ++i) {
    if (bytes[i] == kEndOfData || bytes[i] == '\0') {
      *ended = true;
      break;
    }
    bytes[kept] = bytes[i];
    kept += keeps(bytes[i]) ? 1u : 0u;
  }
  return kept;
}

std::size_t keepTextBytes(char* chunk, std::size_t n, bool* ended) {
  auto* bytes = reinterpret_cast<unsigned char*>(chunk);
  return removeSpaces != 0 ? keepTextBytes<true>(bytes, n, ended)
                           : keepTextBytes<false>(bytes, n, ended);
}

// The text block: sized once from the file, grown only for a file that turns
// out longer than its size said.
struct TextBlock {
  char* bytes = nullptr;
  std::size_t length = 0;    // bytes kept so far
  std::size_t capacity = 0;  // room, the terminator's included

  explicit TextBlock(std::uint64_t file_size)
      : capacity(std::min<std::uint64_t>(file_size, kMaxTextLen) + 1) {
    // The block is not cleared: every byte of the text is written by the
    // read, and the terminator at the end.
    bytes = static_cast<char*>(allocateLargeBlock(capacity));
    if (bytes == nullptr) memoryExhausted(capacity, true);
  }

  std::size_t room() const { return capacity - 1 - length; }

  // Appends n kept bytes beyond the block's room, making room for a chunk
  // more at least.
  void appendBeyond(const char* kept, std::size_t n, std::size_t chunk) {
    if (n > kMaxTextLen - length) memoryExhausted(std::size_t{kMaxTextLen} + 2, false);
    // At least half again as much room, so that a file that keeps growing
    // while it is read still costs time in proportion to its length.
    const std::size_t wanted = std::max(length + n + 1, capacity + std::max(capacity / 2, chunk));
    capacity = std::min<std::size_t>(wanted, std::size_t{kMaxTextLen} + 1);
    bytes = static_cast<char*>(moremem(bytes, static_cast<int>(capacity)));
    std::memcpy(bytes + length, kept, n);
    length += n;
  }
};

// Reads the rest of file into block. Returns false on a read error.
bool readText(std::FILE* file, TextBlock* block) {
  const auto chunk = static_cast<std::size_t>(std::max(loaderTuning.chunk_bytes, 1));
  bool ended = false;
  while (!ended) {
    pollBetweenChunks();
    if (block->room() == 0) {
      // The block is full: either the file ends here, as its size said, or
      // it has grown since. A small read tells which.
      char probe[4096];
      const std::size_t n = std::fread(probe, 1, std::min(chunk, sizeof probe), file);
      if (n == 0) break;
      const std::size_t kept = keepTextBytes(probe, n, &ended);
      if (kept > 0) block->appendBeyond(probe, kept, chunk);
      continue;
    }
    const std::size_t wanted = std::min(chunk, block->room());
    char* const at = block->bytes + block->length;
    const std::size_t n = std::fread(at, 1, wanted, file);
    block->length += keepTextBytes(at, n, &ended);
    // A short read is the end of the file (or a read error).
    if (n < wanted) break;
  }
  return std::ferror(file) == 0;
}

}  // namespace

char* loadText(const char* path) {
  std::unique_ptr<std::FILE, FileCloser> file;
  if (isRegularFile(path)) file.reset(std::fopen(path, "rb"));
  std::uint64_t size = 0;
  if (file == nullptr || !regularFileSize(file.get(), &size)) {
    errmsg("%s: not found\n", path);
    return nullptr;
  }
  // The chunks are read straight into the text block.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  TextBlock block(size);
  // A text cut short by a read error would pass for the whole file.
  if (!readText(file.get(), &block)) {
    std::free(block.bytes);
    errmsg("%s: not found\n", path);
    return nullptr;
  }
  block.bytes[block.length] = '\0';
  // Give back what the file's size promised and the text did not fill.
  if (block.length + 1 < block.capacity) {
    return static_cast<char*>(moremem(block.bytes, static_cast<int>(block.length) + 1));
  }
  return block.bytes;
}

char* makeKindMap(const char* text) {
  const std::size_t length = std::strlen(text);
  auto* map = static_cast<char*>(allocateLargeBlock(length + 1));
  if (map == nullptr) memoryExhausted(length + 1, true);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  const auto chunk = static_cast<std::size_t>(std::max(loaderTuning.chunk_bytes, 1));
  std::size_t i = 0;
  while (i < length) {
    pollBetweenChunks();
    const std::size_t end = length - i > chunk ? i + chunk : length;
    // A double-byte character at the end of this part ends past it.
    while (i < end) {
      // A byte below 0x80 is never a lead byte.
      const std::size_t run_end = firstHigh(bytes, i, end);
      std::memset(map + i, '0', run_end - i);
      i = run_end;
      if (i == end) break;
      if (isLeadByte(bytes[i]) && i + 1 < length) {
        map[i++] = '1';
        map[i++] = '2';
      } else {
        map[i++] = '0';
      }
    }
  }
  map[length] = '\0';
  return map;
}
