#include "core/hit_triple.h"

namespace {

// The sum of both ends passes the int range on texts above 1 GB.
int centerOf(int start, int end) {
  return static_cast<int>((static_cast<long long>(start) + end) / 2);
}

}  // namespace

HitTriple forwardTriple(int skip, int pos, int pattern_len) {
  const int end = pos + (pattern_len - 1) * skip;
  return {pos, centerOf(pos, end), end};
}

HitTriple backwardTriple(int skip, int pos, int pattern_len, int text_len) {
  const int start = text_len - (pattern_len - 1) * skip - pos + 1;
  const int end = start + (pattern_len - 1) * skip;
  return {start, centerOf(start, end), end};
}
