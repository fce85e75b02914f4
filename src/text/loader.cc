#include "text/loader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/main_info.h"
#include "util/memory.h"
#include "util/message.h"
#include "util/platform.h"

namespace {

constexpr int kChunkSize = 1024;
constexpr unsigned char kEndOfData = 0x1A;  // Ctrl-Z ends a text file's data

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The growing text block: doubled when full, so loading takes time and room
// in proportion to the text.
struct TextBlock {
  char* bytes = static_cast<char*>(getmem(kChunkSize + 1));
  int length = 0;
  int capacity = kChunkSize + 1;

  void append(char byte) {
    if (length + 1 == capacity) {
      // The block would need room for this byte and the terminator.
      if (length == kMaxTextLen) memoryExhausted(std::size_t{kMaxTextLen} + 2, false);
      capacity = capacity > kMaxTextLen / 2 ? kMaxTextLen + 1 : capacity * 2;
      bytes = static_cast<char*>(moremem(bytes, capacity));
    }
    bytes[length++] = byte;
  }
};

// Appends the bytes of one chunk that the text keeps. Returns false once the
// text has ended (at 0x1A or NUL).
bool appendChunk(TextBlock* block, const unsigned char* chunk, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char byte = chunk[i];
    if (byte == kEndOfData || byte == '\0') return false;
    if (byte == '\n' || byte == '\r') continue;
    if (removeSpaces != 0 && byte <= 0x20) continue;
    block->append(static_cast<char>(byte));
  }
  return true;
}

}  // namespace

char* loadText(const char* path) {
  std::unique_ptr<std::FILE, FileCloser> file;
  if (isRegularFile(path)) file.reset(std::fopen(path, "rb"));
  if (file == nullptr) {
    errmsg("%s: not found\n", path);
    return nullptr;
  }
  TextBlock block;
  unsigned char chunk[kChunkSize];
  for (;;) {
    const std::size_t n = std::fread(chunk, 1, kChunkSize, file.get());
    if (n == 0 || !appendChunk(&block, chunk, n)) break;
  }
  // A text cut short by a read error would pass for the whole file.
  if (std::ferror(file.get())) {
    std::free(block.bytes);
    errmsg("%s: not found\n", path);
    return nullptr;
  }
  block.bytes[block.length] = '\0';
  // Give back the unused part of the block.
  return static_cast<char*>(moremem(block.bytes, block.length + 1));
}

char* makeKindMap(const char* text) {
  const std::size_t length = std::strlen(text);
  char* map = static_cast<char*>(getmem(static_cast<int>(length) + 1));
  for (std::size_t i = 0; i < length; ++i) {
    if (isLeadByte(static_cast<unsigned char>(text[i])) && text[i + 1] != '\0') {
      map[i++] = '1';
      map[i] = '2';
    } else {
      map[i] = '0';
    }
  }
  map[length] = '\0';
  return map;
}
