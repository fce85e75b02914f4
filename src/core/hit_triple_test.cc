// The triples that the listing and the selection show, at the far end of
// the largest text, where a plain sum of start and end would overflow.
#include "core/hit_triple.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(HitTriple, CentersOfHitsNearTheEndOfTheLargestText) {
  const HitTriple forward = forwardTriple(5, INT_MAX - 10, 3);
  EXPECT_EQ(forward.end, INT_MAX);
  EXPECT_EQ(forward.center, INT_MAX - 5);
  const HitTriple backward = backwardTriple(5, 1, 3, INT_MAX);
  EXPECT_EQ(backward.start, INT_MAX - 10);
  EXPECT_EQ(backward.center, INT_MAX - 5);
  EXPECT_EQ(backward.end, INT_MAX);
}

}  // namespace
