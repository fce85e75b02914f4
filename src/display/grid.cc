#include "display/grid.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/main_info.h"
#include "util/interrupt.h"
#include "util/memory.h"
#include "util/message.h"

namespace {

// Where a window lies in the layout. The cell in row r and column c (both from
// 0; c may be negative, and above rowLen - 1) shows the 1-based text position
// r * rowLen + c + 1.
struct WindowGeometry {
  int rowLen;    // positions from the start of one row to that of the next
  int firstRow;  // never negative
  int lastRow;   // inclusive; at least firstRow
  int firstCol;  // may be negative: cells before the text
  int lastCol;   // firstCol + width - 1
  int top;       // position in the top-left cell; may be 0 or negative
};

// The hit window highlights at most this many letters of a longer string.
constexpr int kMaxHitLetters = 256;

// Whether a cell's byte is written as it is or as a blank; the two windows
// differ only in how they treat a tab.
enum class Tabs { kBlank, kUnchanged };

void writeByte(char byte) { outputByte(byte); }

// Half of a double-byte character whose other half lies outside the window
// row would garble the console, so it shows as a blank.
bool cutByEdge(const WindowGeometry& g, int column, int pos) {
  const char kind = mainInfo.kindMap[pos - 1];
  return (column == g.firstCol && kind == '2') || (column == g.lastCol && kind == '1');
}

// Writes the rows of the window. highlighted(row, column, pos) tells the
// cells to show in reverse video.
template <typename Highlighted>
void drawRows(const WindowGeometry& g, const char* text, Tabs tabs,
              const Highlighted& highlighted) {
  for (int row = g.firstRow; row <= g.lastRow; ++row) {
    // A window of a million cells takes a while on a console.
    pollInterrupt();
    for (int column = g.firstCol; column <= g.lastCol; ++column) {
      const int pos = row * g.rowLen + column + 1;
      if (pos <= 0) {
        writeByte(' ');
      } else if (pos > mainInfo.textLen) {
        break;
      } else if (highlighted(row, column, pos)) {
        highlightOn();
        writeByte(text[pos - 1]);
        highlightOff();
      } else if ((tabs == Tabs::kBlank && text[pos - 1] == '\t') || cutByEdge(g, column, pos)) {
        writeByte(' ');
      } else {
        writeByte(text[pos - 1]);
      }
    }
    writeByte('\n');
  }
}

void writeEscape(const char* sequence) {
  flushOutput();
  errmsg("%s", sequence);
  std::fflush(stderr);
}

// hit_positions holds n ascending positions.
bool isHitLetter(const int* hit_positions, int n, int pos) {
  for (int k = 0; k < n && hit_positions[k] <= pos; ++k) {
    if (hit_positions[k] == pos) return true;
  }
  return false;
}

// Marks in mark_buffer (width bytes per window row) the cells that show a
// letter of one of the first count strings. Where rows overlap (a return
// length below the width) a letter is marked in the upper row only.
void markSelections(const WindowGeometry& g, int width, int count, const Selection* selection,
                    char* mark_buffer) {
  const int rows = g.lastRow - g.firstRow + 1;
  for (int k = 0; k < count; ++k, selection = selection->next) {
    for (int j = 0; j < selection->length; ++j) {
      const int pos = selection->start + j * selection->skip;
      for (int i = 0; i < rows; ++i) {
        const int row_start = g.top + i * g.rowLen;
        if (pos >= row_start && pos <= row_start + width - 1) {
          mark_buffer[i * width + (pos - row_start)] = '1';
          break;
        }
      }
    }
  }
}

}  // namespace

// Places a window of height rows by width columns. While the area is not
// fixed (mainInfo.topPos == -1) it is centred on center, with the row length
// width, or skip when skip is not below width (then start fixes the column);
// otherwise it starts at mainInfo.topPos with the row length
// mainInfo.returnLen. In both cases it moves up near the end of the text
// (mainInfo.textLen) so as to keep height rows where the text has them.
// REQUIRES: mainInfo.textLen >= 1, width >= 1, height >= 1, and the row
// length above 0.
static WindowGeometry placeWindow(int skip, int start, int center, int height, int width) {
  WindowGeometry g{};
  if (mainInfo.topPos == -1) {
    int anchor_row;
    int anchor_column;
    if (skip < width) {
      g.rowLen = width;
      anchor_row = (center - 1) / width;
      anchor_column = (center - 1) % width;
    } else {
      // One letter per row, all in the anchor column.
      g.rowLen = skip;
      anchor_row = (center - 1) / skip;
      anchor_column = (start - 1) % skip;
    }
    g.firstCol = anchor_column - width / 2;
    g.firstRow = std::max(anchor_row - height / 2, 0);
  } else {
    g.rowLen = mainInfo.returnLen;
    if (mainInfo.topPos >= 1) {
      g.firstRow = (mainInfo.topPos - 1) / g.rowLen;
      g.firstCol = (mainInfo.topPos - 1) % g.rowLen;
    } else {
      g.firstRow = 0;
      g.firstCol = mainInfo.topPos - 1;
    }
  }
  g.lastCol = g.firstCol + width - 1;
  // The last row whose first cell is at or before the end of the text. The
  // first column is always below the row length plus the text length, so
  // this is never negative.
  const int last_text_row = (mainInfo.textLen - 1 - g.firstCol) / g.rowLen;
  g.lastRow = std::min(g.firstRow + height - 1, last_text_row);
  if (g.lastRow - g.firstRow + 1 < height) {
    g.firstRow = std::max(g.lastRow - height + 1, 0);
  }
  g.top = g.firstRow * g.rowLen + g.firstCol + 1;
  return g;
}

void highlightOn() { writeEscape("\x1b[7m"); }

void highlightOff() { writeEscape("\x1b[0m"); }

int showHitWindow(int skip, int start, int center, int height, int width, const char* pattern,
                  const char* text) {
  int hitPositions[kMaxHitLetters];
  const int n =
      static_cast<int>(std::min(std::strlen(pattern), static_cast<std::size_t>(kMaxHitLetters)));
  for (int k = 0; k < n; ++k) hitPositions[k] = start + k * skip;
  const WindowGeometry g = placeWindow(skip, start, center, height, width);
  // An empty search string (a refused search after an earlier one) leaves no
  // last letter; the start stands in for it.
  const int last = n > 0 ? hitPositions[n - 1] : start;
  errmsg("[skip=%d, string=(%d,%d,%d), top=%d, return=%d]\n", skip, start, center, last, g.top,
         g.rowLen);
  drawRows(g, text, Tabs::kBlank,
           [&](int, int, int pos) { return isHitLetter(hitPositions, n, pos); });
  return 0;
}

int showSelectionWindow(int height, int width, const char* text, const Selection* selections) {
  const int center = selections->start + (selections->length - 1) * selections->skip / 2;
  const WindowGeometry g = placeWindow(selections->skip, selections->start, center, height, width);
  const int rows = g.lastRow - g.firstRow + 1;
  char* markBuffer = static_cast<char*>(getmem(width * rows));
  markSelections(g, width, mainInfo.selectedCount, selections, markBuffer);
  errmsg("[top=%d, return=%d]\n", g.top, g.rowLen);
  drawRows(g, text, Tabs::kUnchanged, [&](int row, int column, int) {
    return markBuffer[(row - g.firstRow) * width + (column - g.firstCol)] == '1';
  });
  std::free(markBuffer);
  return 0;
}
