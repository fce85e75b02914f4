// The run's whole state: the one global main record, the records of the hit
// lists and of the selection list, and the -c flag. Every module reads and
// writes these fields directly. The Ctrl-C flags live with the handler, in
// util/interrupt.h.
#ifndef SRC_CORE_MAIN_INFO_H_
#define SRC_CORE_MAIN_INFO_H_

// Longest search string kept, in bytes (the pattern buffer holds one more for
// the terminator).
inline constexpr int kMaxPatternLen = 511;

// The settings at start, and the bounds and page of the commands. --help,
// the manual and the README state them in words; a test holds those equal.
inline constexpr int kDefaultSkipLimit = 10000;
inline constexpr int kDefaultWidth = 78;
inline constexpr int kDefaultHeight = 20;
// A window's columns and rows, each within these bounds (inclusive).
inline constexpr int kMinWindow = 2;
inline constexpr int kMaxWindow = 1024;
// Hit lines a listing writes before it waits at "continued ... ".
inline constexpr int kPageLines = 24;

struct MainInfo {
  char* text;     // the loaded text as one NUL-terminated line; never freed
  char* kindMap;  // '0' single byte, '1' lead byte, '2' trail byte, per byte
                  // of text, in forward order; NUL-terminated
  int textLen;    // length of text in bytes
  // The current search string, NUL-terminated.
  char pattern[kMaxPatternLen + 1];
  int patternLen;     // length of pattern in bytes
  int skipLimit;      // largest skip a search without "/a" tries; default 10000
  int forwardCount;   // hits of the last search in the forward reading
  int backwardCount;  // hits of the last search in the backward reading
  int selectedCount;  // number of valid Selection records
  int width;          // columns of a grid window, 2 to 1024; default 78
  int height;         // rows of a grid window, 2 to 1024; default 20
  int topPos;         // 1-based position shown in the grid's top-left cell while
                      // the area is fixed; -1 = not fixed (window centred)
  int returnLen;      // row length of the grid while topPos is fixed; default 78
  int areaStart;      // smallest start among selected strings; -1 = none selected
  int areaEnd;        // largest end among selected strings; -1 = none selected
  int centerMin;      // smallest center among selected strings
  int centerMax;      // largest center among selected strings
};

// The run's main record, the one instance of MainInfo: set to its defaults
// by resetMainInfo (at start and in every test fixture), then read and
// written by the command loop's thread only.
extern MainInfo mainInfo;

// One search hit, as read from a hit list (core/hit_list.h), which keeps the
// hits of one reading of the last search.
struct Hit {
  int skip;  // the interval, above 0
  int pos;   // 1-based position of the string's first letter in the text as
             // scanned (the reversed text for the backward list)
};

// One selected string, in forward terms. The first selectedCount records from
// the command loop's head are the selection; records after them are spares,
// never freed, reused by later selections.
struct Selection {
  int skip;         // above 0
  int start;        // 1-based forward position of the lowest letter
  int length;       // number of letters: patternLen when it was selected
  Selection* next;  // null while no further record has been allocated
};

// Module flag, 0 or 1, 0 at start: -c was given.
extern int removeSpaces;

// The options beyond the design's own, each a module flag, 0 or 1, 0 at start;
// without them the program behaves exactly as designed.
extern int noPager;      // --no-pager: listings never wait at "continued ... "
extern int lettersOnly;  // --letters: the text is loaded as its letters alone
extern int lineLabels;   // --labels: each line's first word is its label

// Clears mainInfo and stores the defaults.
void resetMainInfo();

#endif  // SRC_CORE_MAIN_INFO_H_
