#include "text/line_map.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "text/loader.h"
#include "text/text_filter.h"
#include "util/interrupt.h"
#include "util/message.h"
#include "util/platform.h"

namespace {

// Where a chunk of the file begins, as the loader read it.
struct ChunkStart {
  std::uint64_t offset;      // of its first byte in the file
  std::int64_t kept;         // text bytes before it
  std::int64_t line;         // the line of its first byte, from 1
  std::uint64_t line_start;  // the offset of that line's first byte
  FilterState state;         // the filter's state before it
};

std::string textPath;
// The file's size when its map was made.
std::uint64_t mappedSize = 0;
// Empty until the first look; a few dozen bytes a chunk of the file, however
// many lines it holds.
std::vector<ChunkStart> chunkStarts;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

enum class Look { kFound, kNotFound, kChanged };

File openText() {
  File file;
  if (isRegularFile(textPath.c_str())) file.reset(std::fopen(textPath.c_str(), "rb"));
  return file;
}

// Counts the LFs of bytes [from, to) of a chunk whose first byte stands at
// offset, and moves *line_start past the last of them.
std::int64_t countLines(const unsigned char* bytes, std::size_t from, std::size_t to,
                        std::uint64_t offset, std::uint64_t* line_start) {
  std::int64_t lines = 0;
  const unsigned char* const end = bytes + to;
  for (const unsigned char* p = bytes + from;
       (p = static_cast<const unsigned char*>(
            std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr;
       ++p) {
    ++lines;
    *line_start = offset + static_cast<std::uint64_t>(p - bytes) + 1;
  }
  return lines;
}

// True when the kept bytes are the loaded text's from index from on.
bool sameText(const unsigned char* kept, std::size_t n, const char* text, int text_len,
              std::int64_t from) {
  return from + static_cast<std::int64_t>(n) <= text_len && std::memcmp(kept, text + from, n) == 0;
}

// Reads the file as the loader did, checking its text against the loaded
// one, and notes where every chunk begins.
Look mapChunks(const char* text, int text_len) {
  const File file = openText();
  if (file == nullptr || !regularFileSize(file.get(), &mappedSize)) return Look::kNotFound;
  const FilterRules rules = currentFilterRules();
  const std::size_t chunk = loaderChunkBytes();
  std::vector<unsigned char> bytes(chunk + 1);
  std::vector<ChunkStart> starts;
  ChunkStart next = {0, 0, 1, 0, startOfFile(rules)};
  std::size_t carry = 0;
  while (!next.state.ended) {
    pollInterrupt();
    const std::size_t n = std::fread(bytes.data() + carry, 1, chunk, file.get());
    starts.push_back(next);
    next.line += countLines(bytes.data(), carry, carry + n, next.offset, &next.line_start);
    std::size_t used = 0;
    const std::size_t kept = filterChunk(rules, bytes.data(), carry + n, &next.state, &used);
    if (!sameText(bytes.data(), kept, text, text_len, next.kept)) return Look::kChanged;
    next.kept += static_cast<std::int64_t>(kept);
    // A lead byte whose trail byte is still to come begins the next chunk.
    carry = carry + n - used;
    if (carry != 0) bytes[0] = bytes[used];
    next.offset += used;
    if (n < chunk) break;
  }
  if (std::ferror(file.get()) != 0) return Look::kNotFound;
  if (next.kept != text_len) return Look::kChanged;
  chunkStarts = std::move(starts);
  return Look::kFound;
}

// The text bytes that bytes [0, n) of a chunk give from its start.
std::size_t keptOf(const unsigned char* bytes, std::size_t n, const ChunkStart& start,
                   std::vector<unsigned char>* scratch) {
  scratch->assign(bytes, bytes + n);
  FilterState state = start.state;
  std::size_t used = 0;
  return filterChunk(currentFilterRules(), scratch->data(), n, &state, &used);
}

// The index in bytes of the file byte that gives text byte target (counted
// from the chunk's start). REQUIRES: the chunk keeps more than target bytes.
std::size_t byteOfKept(const std::vector<unsigned char>& bytes, const ChunkStart& start,
                       std::size_t target) {
  std::vector<unsigned char> scratch;
  // The shortest start of the chunk that keeps text byte target.
  std::size_t low = 1;
  std::size_t high = bytes.size();
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (keptOf(bytes.data(), middle, start, &scratch) > target) {
      high = middle;
    } else {
      low = middle;
      ++low;
    }
  }
  // Its last byte gave one text byte, or two (a double-byte character),
  // of which target may be the first.
  const std::size_t kept = keptOf(bytes.data(), low, start, &scratch);
  return low - 1 - (kept - 1 - target);
}

// The label of the line that starts at line_start: its bytes up to the first
// blank, tab or line break, or the end of the data or the text.
std::string labelAt(std::FILE* file, std::uint64_t line_start) {
  std::string label;
  if (!seekFile(file, line_start)) return label;
  for (int c; (c = std::getc(file)) != EOF;) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0x1A || c == '\0') break;
    label.push_back(static_cast<char>(c));
  }
  return label;
}

Look locate(const char* text, int text_len, int index, FilePlace* place) {
  const auto after = std::upper_bound(
      chunkStarts.begin(), chunkStarts.end(), index,
      [](std::int64_t value, const ChunkStart& start) { return value < start.kept; });
  const ChunkStart& start = *(after - 1);
  const std::size_t length = after != chunkStarts.end()
                                 ? static_cast<std::size_t>(after->offset - start.offset)
                                 : loaderChunkBytes() + 1;
  const File file = openText();
  std::uint64_t size = 0;
  if (file == nullptr || !regularFileSize(file.get(), &size) ||
      !seekFile(file.get(), start.offset)) {
    return Look::kNotFound;
  }
  if (size != mappedSize) return Look::kChanged;
  std::vector<unsigned char> bytes(length);
  bytes.resize(std::fread(bytes.data(), 1, length, file.get()));
  if (std::ferror(file.get()) != 0) return Look::kNotFound;
  // The chunk must still give the text that it gave.
  std::vector<unsigned char> scratch;
  const std::size_t kept = keptOf(bytes.data(), bytes.size(), start, &scratch);
  const auto target = static_cast<std::size_t>(index - start.kept);
  if (kept <= target || !sameText(scratch.data(), kept, text, text_len, start.kept)) {
    return Look::kChanged;
  }
  const std::size_t byte = byteOfKept(bytes, start, target);
  std::uint64_t line_start = start.line_start;
  place->line = start.line + countLines(bytes.data(), 0, byte, start.offset, &line_start);
  place->column = static_cast<std::int64_t>(start.offset + byte - line_start) + 1;
  place->label = currentFilterRules().labels ? labelAt(file.get(), line_start) : "";
  return Look::kFound;
}

}  // namespace

void setTextFile(const char* path) {
  textPath = path;
  chunkStarts.clear();
}

bool findInFile(const char* text, int textLen, int index, FilePlace* place) {
  Look look = chunkStarts.empty() ? mapChunks(text, textLen) : Look::kFound;
  if (look == Look::kFound) look = locate(text, textLen, index, place);
  if (look == Look::kNotFound) errmsg("... %s: not found\n", textPath.c_str());
  if (look == Look::kChanged) {
    // Mapped afresh at the next look, should the file be what it was again.
    chunkStarts.clear();
    errmsg("... %s: changed since it was loaded\n", textPath.c_str());
  }
  return look == Look::kFound;
}
