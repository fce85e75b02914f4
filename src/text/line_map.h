// Where a byte of the loaded text stands in the file it came from: its line,
// its byte column and the line's label. The file is read again for it, and
// the places of a few bytes a chunk are kept from the first look on.
#ifndef SRC_TEXT_LINE_MAP_H_
#define SRC_TEXT_LINE_MAP_H_

#include <cstdint>
#include <string>

// A place in the text file.
struct FilePlace {
  std::int64_t line = 0;    // from 1; lines end at LF
  std::int64_t column = 0;  // the byte's column in its line, from 1
  std::string label;        // the line's first word; empty without --labels
};

// Names the file that the text was loaded from (the name as typed), and
// forgets what an earlier file's map held. The loader's rules (removeSpaces,
// lettersOnly, lineLabels) must stay as they were for the load.
void setTextFile(const char* path);

// Finds where byte index (from 0) of text, the text of textLen bytes loaded
// from the file that setTextFile named, stands in that file. The first call
// reads the whole file and keeps where every chunk of it begins; each call
// then reads one chunk. Returns true with *place set; false after writing
// "... <path>: not found\n" when the file can no longer be read, or
// "... <path>: changed since it was loaded\n" when its text is no longer the
// loaded one. A Ctrl-C while the file is read ends the program.
// REQUIRES: 0 <= index < textLen.
bool findInFile(const char* text, int textLen, int index, FilePlace* place);

#endif  // SRC_TEXT_LINE_MAP_H_
