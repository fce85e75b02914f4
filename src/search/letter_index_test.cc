// The arithmetic under the letter index's passes, up to texts of the
// largest int: the division of positions and the polled passes over them.
#include "search/letter_index.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

namespace {

TEST(Divider, IsExactUpToTheLargestInt) {
  for (int divisor = 1; divisor <= 4096; ++divisor) {
    const Divider by(divisor);
    for (int x : {0, divisor - 1, divisor, INT_MAX - divisor, INT_MAX - 1, INT_MAX}) {
      ASSERT_EQ(by.quotient(x), x / divisor) << x << " / " << divisor;
    }
  }
}

TEST(ForEachRun, CoversTheLastPositionsOfTheLargestTextInRunsOfAPoll) {
  const int from = INT_MAX - 3 * kPositionsPerPoll / 2;
  std::vector<std::pair<int, int>> runs;
  EXPECT_TRUE(forEachRun(from, INT_MAX, kPositionsPerPoll,
                         [&](int run_from, int run_to) { runs.emplace_back(run_from, run_to); }));
  const std::vector<std::pair<int, int>> expected = {{from, from + kPositionsPerPoll},
                                                     {from + kPositionsPerPoll, INT_MAX}};
  EXPECT_EQ(runs, expected);
}

}  // namespace
