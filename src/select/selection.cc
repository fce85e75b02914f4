#include "select/selection.h"

#include <string>

#include "core/hit_list.h"
#include "core/hit_triple.h"
#include "display/grid.h"
#include "util/console.h"
#include "util/memory.h"
#include "util/message.h"

namespace {

// A selected string is stored in forward terms, so its triple is that of a
// forward hit at its start.
HitTriple selectionTriple(const Selection& s) { return forwardTriple(s.skip, s.start, s.length); }

// The letters of a selected string, sized from its length (a selection keeps
// the length of its search string, up to kMaxPatternLen).
std::string lettersOf(const Selection& s) {
  std::string letters;
  for (int i = 0; i < s.length; ++i) {
    letters.push_back(mainInfo.text[s.start + i * s.skip - 1]);
  }
  return letters;
}

// Widens the span by one newly selected string. The center tests look at
// areaStart before it changes, so the first string after an empty selection
// replaces all four fields.
void widenSpan(const HitTriple& t) {
  const bool empty = mainInfo.areaStart == -1;
  if (empty || t.center < mainInfo.centerMin) mainInfo.centerMin = t.center;
  if (empty || t.center > mainInfo.centerMax) mainInfo.centerMax = t.center;
  if (empty || t.start < mainInfo.areaStart) mainInfo.areaStart = t.start;
  if (mainInfo.areaEnd == -1 || t.end > mainInfo.areaEnd) mainInfo.areaEnd = t.end;
}

// Computes the span of the first selectedCount strings from scratch; all four
// fields are -1 when none is left.
void recomputeSpan(const Selection* s) {
  int area_start = -1;
  int area_end = -1;
  int center_min = -1;
  int center_max = -1;
  for (int k = 0; k < mainInfo.selectedCount; ++k, s = s->next) {
    const HitTriple t = selectionTriple(*s);
    if (area_start == -1 || t.start < area_start) area_start = t.start;
    if (area_end == -1 || t.end > area_end) area_end = t.end;
    if (center_min == -1 || t.center < center_min) center_min = t.center;
    if (center_max == -1 || t.center > center_max) center_max = t.center;
  }
  mainInfo.areaStart = area_start;
  mainInfo.areaEnd = area_end;
  mainInfo.centerMin = center_min;
  mainInfo.centerMax = center_max;
}

// The record at index (from 0) of the chain, allocating the missing links.
Selection* recordAt(Selection* head, int index) {
  Selection* s = head;
  for (int k = 0; k < index; ++k) {
    if (s->next == nullptr) {
      s->next = static_cast<Selection*>(getmem(static_cast<int>(sizeof(Selection))));
    }
    s = s->next;
  }
  return s;
}

void copyValues(const Selection& from, Selection* to) {
  to->skip = from.skip;
  to->start = from.start;
  to->length = from.length;
}

void deleteByNumber(int n, Selection* head) {
  Selection* s = head;
  for (int i = 0; i < n - 1; ++i) s = s->next;
  const HitTriple t = selectionTriple(*s);
  errmsg("... %s:(%d,%d,%d) deleted\n", lettersOf(*s).c_str(), t.start, t.center, t.end);
  for (int i = n - 1; i < mainInfo.selectedCount && s->next != nullptr; ++i) {
    copyValues(*s->next, s);
    s = s->next;
  }
  --mainInfo.selectedCount;
}

// Asks the question for one string; true when the answer is y or Y.
bool confirmDeletion(const Selection& s) {
  const HitTriple t = selectionTriple(s);
  errmsg("%s: skip=%d, string=(%d,%d,%d) ... delete? (y/[n]) ", lettersOf(s).c_str(), s.skip,
         t.start, t.center, t.end);
  std::string answer;
  // End of input leaves the string selected.
  if (!readLine(&answer)) return false;
  const char first = *skipBlanks(answer.c_str());
  return first == 'y' || first == 'Y';
}

void deleteByAsking(Selection* head) {
  // Starts are positions from 1 on, so -1 is free to mark a record.
  Selection* s = head;
  for (int k = 0; k < mainInfo.selectedCount; ++k, s = s->next) {
    if (confirmDeletion(*s)) s->start = -1;
  }
  Selection* cursor = head;
  int marked = 0;
  s = head;
  for (int k = 0; k < mainInfo.selectedCount; ++k, s = s->next) {
    if (s->start == -1) {
      ++marked;
    } else {
      copyValues(*s, cursor);
      cursor = cursor->next;
    }
  }
  mainInfo.selectedCount -= marked;
}

}  // namespace

bool lookUpHit(int number, const HitList* forward_hits, const HitList* backward_hits, int* skip,
               HitTriple* triple) {
  const int total = mainInfo.forwardCount + mainInfo.backwardCount;
  if (number < 1 || number > total) {
    if (total != 0) {
      errmsg("... %d: invalid number; (1 - %d) available\n", number, total);
    } else {
      errmsg("... none of searched string\n");
    }
    return false;
  }
  if (number <= mainInfo.forwardCount) {
    const Hit hit = forward_hits->at(number - 1);
    *skip = hit.skip;
    *triple = forwardTriple(hit.skip, hit.pos, mainInfo.patternLen);
  } else {
    const Hit hit = backward_hits->at(number - mainInfo.forwardCount - 1);
    *skip = hit.skip;
    *triple = backwardTriple(hit.skip, hit.pos, mainInfo.patternLen, mainInfo.textLen);
  }
  return true;
}

int pickHit(int mode, int number, const HitList* forward_hits, const HitList* backward_hits,
            Selection* selections) {
  HitTriple t;
  int skip;
  if (!lookUpHit(number, forward_hits, backward_hits, &skip, &t)) return -1;
  if (mode == kShowHit) {
    return showHitWindow(skip, t.start, t.center, mainInfo.height, mainInfo.width, mainInfo.pattern,
                         mainInfo.text);
  }
  widenSpan(t);
  errmsg("... selected string area = (%d,%d)\n", t.start, t.end);
  Selection* record = recordAt(selections, mainInfo.selectedCount);
  record->skip = skip;
  record->start = t.start;
  record->length = mainInfo.patternLen;
  return 0;
}

void dropSelections() {
  mainInfo.areaStart = -1;
  mainInfo.areaEnd = -1;
  mainInfo.selectedCount = 0;
  errmsg("... selected strings were ommited!\n");
}

int listSelections(const Selection* selections) {
  const Selection* s = selections;
  for (int k = 0; k < mainInfo.selectedCount; ++k, s = s->next) {
    const HitTriple t = selectionTriple(*s);
    errmsg("%s: skip=%d, string=(%d,%d,%d)\n", lettersOf(*s).c_str(), s->skip, t.start, t.center,
           t.end);
  }
  return 0;
}

int deleteSelections(const char* arg, Selection* selections) {
  arg = skipBlanks(arg);
  if (*arg != '\0') {
    const int n = readNumber(arg);
    if (n < 1 || n > mainInfo.selectedCount) {
      errmsg("... %d: no selected data\n", n);
      return -1;
    }
    deleteByNumber(n, selections);
  } else {
    deleteByAsking(selections);
  }
  recomputeSpan(selections);
  return 0;
}
