#include "text/loader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/main_info.h"
#include "text/text_filter.h"
#include "util/byte_words.h"
#include "util/interrupt.h"
#include "util/memory.h"
#include "util/message.h"
#include "util/platform.h"

// A megabyte is read at a time: few enough calls to the system, and a chunk
// that is still in the processor's cache when it is filtered; at memory speed
// it also keeps a Ctrl-C waiting well under a millisecond.
LoaderTuning loaderTuning = {.chunk_bytes = 1 << 20, .poll_hook = nullptr};

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

void pollBetweenChunks() {
  if (loaderTuning.poll_hook != nullptr) loaderTuning.poll_hook();
  pollInterrupt();
}

// Eight bytes at a time (util/byte_words.h).
constexpr std::uint64_t kHighBits = 0x8080808080808080;

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

// The room the text block starts with: the file's size, as long as the
// memory budget leaves room for that and for the kind map as long again. A
// larger file may hold far less text (zeros after a 0x1A, line breaks, what
// -c or --letters drop): it starts smaller and the block grows as the text
// comes.
std::size_t firstCapacity(std::uint64_t file_size) {
  const std::uint64_t half_room = std::max<std::uint64_t>(memoryRoom() / 2, loaderChunkBytes());
  return static_cast<std::size_t>(std::min({file_size, std::uint64_t{kMaxTextLen}, half_room})) + 1;
}

// The text block: sized first from the file, grown for a text that turns
// out longer than that.
struct TextBlock {
  char* bytes = nullptr;
  std::size_t length = 0;    // bytes kept so far
  std::size_t capacity = 0;  // room, the terminator's included

  explicit TextBlock(std::uint64_t file_size) : capacity(firstCapacity(file_size)) {
    // The block is not cleared: every byte of the text is written by the
    // read, and the terminator at the end. Where a limit that the budget does
    // not see (ulimit -v) refuses the first size, half of it is tried, down
    // to a chunk.
    while ((bytes = static_cast<char*>(allocateLargeBlock(capacity))) == nullptr) {
      if (capacity <= loaderChunkBytes() + 1) memoryExhausted(capacity, true);
      capacity = std::max(capacity / 2, loaderChunkBytes() + 1);
    }
  }

  std::size_t room() const { return capacity - 1 - length; }

  // Appends n kept bytes beyond the block's room, making room for a chunk
  // more at least.
  void appendBeyond(const unsigned char* kept, std::size_t n, std::size_t chunk) {
    if (n > kMaxTextLen - length) memoryExhausted(std::size_t{kMaxTextLen} + 2, false);
    // At least half again as much room, so that a text that keeps coming
    // still costs time in proportion to its length.
    const std::size_t wanted = std::max(length + n + 1, capacity + std::max(capacity / 2, chunk));
    capacity = std::min<std::size_t>(wanted, std::size_t{kMaxTextLen} + 1);
    bytes = static_cast<char*>(moremem(bytes, static_cast<int>(capacity)));
    std::memcpy(bytes + length, kept, n);
    length += n;
  }
};

// Reads the rest of file into block, filtered. Returns false on a read
// error.
bool readText(std::FILE* file, TextBlock* block) {
  const FilterRules rules = currentFilterRules();
  FilterState state = startOfFile(rules);
  const std::size_t chunk = loaderChunkBytes();
  // A lead byte whose trail byte the next read brings goes first in it.
  std::size_t carry = 0;
  unsigned char carried = 0;
  unsigned char probe[4096];
  while (!state.ended) {
    pollBetweenChunks();
    // Straight into the block while it has room; once it is full, either the
    // text ends here or it is longer than the block: a small read tells.
    const bool into_block = block->room() > carry;
    auto* const at =
        into_block ? reinterpret_cast<unsigned char*>(block->bytes + block->length) : probe;
    const std::size_t wanted =
        std::min(std::max(chunk, carry + 1), into_block ? block->room() : sizeof probe) - carry;
    if (carry != 0) at[0] = carried;
    const std::size_t n = std::fread(at + carry, 1, wanted, file);
    std::size_t used = 0;
    const std::size_t kept = filterChunk(rules, at, carry + n, &state, &used);
    carry = carry + n - used;
    if (carry != 0) carried = at[used];
    if (into_block) {
      block->length += kept;
    } else if (kept > 0) {
      block->appendBeyond(probe, kept, chunk);
    }
    // A short read is the end of the file (or a read error).
    if (n < wanted) break;
  }
  return std::ferror(file) == 0;
}

}  // namespace

std::size_t loaderChunkBytes() {
  return static_cast<std::size_t>(std::max(loaderTuning.chunk_bytes, 1));
}

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
  const std::size_t chunk = loaderChunkBytes();
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
