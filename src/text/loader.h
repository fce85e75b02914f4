// Loading the text file into one line, and the map that tells single bytes
// from the two halves of Shift-JIS double-byte characters.
#ifndef SRC_TEXT_LOADER_H_
#define SRC_TEXT_LOADER_H_

#include <climits>
#include <cstddef>

// The longest text loaded, in bytes. Every position the program computes
// from a text position (a grid row runs up to a window's width past the end
// of the text) and the text's block with its terminator stay within int.
inline constexpr int kMaxTextLen = INT_MAX - 4096;

// Reads the regular file at path as bytes and returns its text as one
// NUL-terminated line in a heap block that the caller owns (std::free): the
// bytes that the filter of the module flags keeps (text/text_filter.h: CR and
// LF dropped, and more under -c, --letters and --labels), up to the first
// 0x1A or NUL. The block starts at the file's size, or at half of what the
// memory budget leaves where that is less, is filtered in place and grows
// with the text, so that loading takes little more than the text's own room
// and a large file with a small text still loads; a file that turns out
// longer or shorter than its size said is still read whole. A missing,
// unreadable or non-regular file, or one whose reading fails part way, gives
// null after the message "<path>: not found\n". A text longer than
// kMaxTextLen, or a block that the memory budget refuses, ends the program
// with the memory message. A Ctrl-C during the load ends the program
// (pollInterrupt) before the next chunk.
char* loadText(const char* path);

// Returns a new heap block as long as text (std::free), holding per byte of
// text '0' (single byte), '1' (Shift-JIS lead byte followed by a byte other
// than the terminator) or '2' (the byte after a lead byte), NUL-terminated.
// Polls for Ctrl-C as the loader does.
char* makeKindMap(const char* text);

// The loader's sizes and its test hook; the program never changes them.
struct LoaderTuning {
  int chunk_bytes;      // bytes read at a time, and bytes of the kind map made,
                        // between two polls for Ctrl-C; 1 or more
  void (*poll_hook)();  // when set, called right before every such poll
};

extern LoaderTuning loaderTuning;

// The bytes read at a time: loaderTuning's chunk_bytes, at least 1.
std::size_t loaderChunkBytes();

#endif  // SRC_TEXT_LOADER_H_
