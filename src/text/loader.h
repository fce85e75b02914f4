// Loading the text file into one line, and the map that tells single bytes
// from the two halves of Shift-JIS double-byte characters.
#ifndef SRC_TEXT_LOADER_H_
#define SRC_TEXT_LOADER_H_

#include <climits>

// The longest text loaded, in bytes. Every position the program computes
// from a text position (a grid row runs up to a window's width past the end
// of the text) and the text's block with its terminator stay within int.
inline constexpr int kMaxTextLen = INT_MAX - 4096;

// Reads the regular file at path as bytes and returns its text as one
// NUL-terminated line in a getmem block that the caller owns: the data ends at
// the first byte 0x1A and the text at the first NUL; every CR and LF is
// dropped, and while removeSpaces is set every byte of value 0x20 or below
// too. A missing, unreadable or non-regular file, or one whose reading fails
// part way, gives null after the message "<path>: not found\n". A text longer
// than kMaxTextLen ends the program with the memory message.
char* loadText(const char* path);

// Returns a new getmem block as long as text, holding per byte of text '0'
// (single byte), '1' (Shift-JIS lead byte followed by a byte other than the
// terminator) or '2' (the byte after a lead byte), NUL-terminated.
char* makeKindMap(const char* text);

#endif  // SRC_TEXT_LOADER_H_
