// Which bytes of a text file the loaded text keeps: the rules of the loader,
// applied to a file's bytes a chunk at a time, in place.
#ifndef SRC_TEXT_TEXT_FILTER_H_
#define SRC_TEXT_TEXT_FILTER_H_

#include <cstddef>

// Where a line stands for the rule of --labels: in its first word (the label),
// in the blanks and tabs after it, or in its text. Without --labels a line is
// all text.
enum class LinePart : unsigned char { kLabel, kGap, kText };

// What the filter carries from one chunk of a file to the next.
struct FilterState {
  LinePart part = LinePart::kText;  // where the next byte stands in its line
  bool ended = false;               // the text has ended (NUL or 0x1A)
};

// The filter's rules, taken from the module flags: removeSpaces, lettersOnly
// and lineLabels (core/main_info.h).
struct FilterRules {
  bool remove_spaces;  // drop every byte of value 0x20 or below
  bool letters;        // keep the letters alone (implies remove_spaces)
  bool labels;         // drop each line's first word and the blanks after it
};
FilterRules currentFilterRules();

// The state before a file's first byte.
FilterState startOfFile(const FilterRules& rules);

// Filters the n bytes at bytes in place: moves the bytes that the text keeps
// to its front, in their order, and returns how many they are. Every CR and
// LF is dropped; with remove_spaces every byte of value 0x20 or below; with
// letters every byte but an ASCII letter (kept in upper case), a Shift-JIS
// double-byte character whose lead byte is not 0x81, and a half-width
// katakana (0xA6 to 0xDF); with labels each line's label and the blanks and
// tabs after it. The text ends at the first NUL or 0x1A (state->ended), and
// nothing from there on is kept. Sets *used to the bytes consumed: n, or n - 1
// when the last byte is a lead byte whose trail byte is still to come, which
// the caller puts before the next chunk's bytes. A store only overwrites bytes
// already read.
std::size_t filterChunk(const FilterRules& rules, unsigned char* bytes, std::size_t n,
                        FilterState* state, std::size_t* used);

// Folds the ASCII letters of the NUL-terminated string s to upper case in
// place, passing over the two bytes of every Shift-JIS double-byte character,
// as --letters loads a text.
void foldLetters(char* s);

#endif  // SRC_TEXT_TEXT_FILTER_H_
