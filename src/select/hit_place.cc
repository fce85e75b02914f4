#include "select/hit_place.h"

#include <string>

#include "core/hit_triple.h"
#include "select/selection.h"
#include "text/line_map.h"
#include "util/message.h"

namespace {

// One half of the answer: "start 52501 at line 789 column 23 [Gen28:12]".
// False when the file cannot tell (its message is written).
bool describe(const char* what, int pos, std::string* out) {
  *out += what;
  *out += ' ' + std::to_string(pos);
  // Only a search string shorter than 2 bytes, after a refused search, gives
  // an end before the start or past the text.
  if (pos < 1 || pos > mainInfo.textLen) {
    *out += " outside the text";
    return true;
  }
  FilePlace place;
  if (!findInFile(mainInfo.text, mainInfo.textLen, pos - 1, &place)) return false;
  *out += " at line " + std::to_string(place.line) + " column " + std::to_string(place.column);
  if (lineLabels != 0) *out += " [" + place.label + "]";
  return true;
}

bool writePlace(int number, const HitTriple& t) {
  std::string line = "... " + std::to_string(number) + ": ";
  if (!describe("start", t.start, &line)) return false;
  line += ", ";
  if (!describe("end", t.end, &line)) return false;
  line += '\n';
  // Labels are the file's bytes: written as they are, never as a format.
  errmsg("%s", line.c_str());
  return true;
}

}  // namespace

int placeHit(int number, const HitList* forward_hits, const HitList* backward_hits) {
  int skip = 0;
  HitTriple t;
  if (!lookUpHit(number, forward_hits, backward_hits, &skip, &t)) return -1;
  return writePlace(number, t) ? 0 : -1;
}

int placeSelections(const Selection* selections) {
  if (mainInfo.selectedCount == 0) {
    errmsg("... no selected string\n");
    return -1;
  }
  const Selection* s = selections;
  for (int k = 1; k <= mainInfo.selectedCount; ++k, s = s->next) {
    if (!writePlace(k, forwardTriple(s->skip, s->start, s->length))) return -1;
  }
  return 0;
}
