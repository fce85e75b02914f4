// The grid: the one-line text cut into rows of equal length, of which a
// window is written to standard output with chosen letters in reverse video;
// the header and the escape sequences go through errmsg, and every switch
// flushes so that both streams stay in the order written.
#ifndef SRC_DISPLAY_GRID_H_
#define SRC_DISPLAY_GRID_H_

struct Selection;

// Reverse video on, and off: each writes its escape sequence through errmsg,
// flushing standard output before and standard error after.
void highlightOn();
void highlightOff();

// Shows the window around one hit of skip (above 0) whose lowest letter is at
// start and whose center is center (forward positions): the header
// "[skip=%d, string=(%d,%d,%d), top=%d, return=%d]\n", then the rows. The
// first strlen(pattern) letters, at most 256, are highlighted; tabs show as
// blanks, and so does half of a double-byte character cut by a window edge
// (mainInfo.kindMap). Always returns 0.
int showHitWindow(int skip, int start, int center, int height, int width, const char* pattern,
                  const char* text);

// Shows the first mainInfo.selectedCount strings of the chain from
// selections in one window placed around the first of them: the header
// "[top=%d, return=%d]\n", then the rows, with every selected letter inside
// the window highlighted. Tabs are written unchanged. Always returns 0.
// REQUIRES: mainInfo.selectedCount >= 1.
int showSelectionWindow(int height, int width, const char* text, const Selection* selections);

#endif  // SRC_DISPLAY_GRID_H_
