// The hit list at the edges of its chunks and runs, where a lookup by
// number or a bulk append could go one off.
#include "core/hit_list.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "util/memory.h"

namespace {

constexpr int kChunk = HitList::kChunkHits;

TEST(HitList, LooksHitsUpByIndexAtRunAndChunkEdges) {
  HitList list;
  // Skip 1 fills the first chunk but one slot, skip 4 crosses into the
  // second chunk, skip 9 has a single hit.
  for (int i = 0; i < kChunk - 1; ++i) list.append(1, i + 1);
  list.append(4, 100);
  list.append(4, 200);
  list.append(9, 7);
  ASSERT_EQ(list.count(), kChunk + 2);
  ASSERT_EQ(list.runCount(), 3);
  EXPECT_EQ(list.runEnd(0), kChunk - 1);
  const struct {
    int index;
    int skip;
    int pos;
  } cases[] = {{0, 1, 1},
               {kChunk - 2, 1, kChunk - 1},
               {kChunk - 1, 4, 100},
               {kChunk, 4, 200},
               {kChunk + 1, 9, 7}};
  for (const auto& c : cases) {
    EXPECT_EQ(list.at(c.index).skip, c.skip) << c.index;
    EXPECT_EQ(list.at(c.index).pos, c.pos) << c.index;
  }
}

TEST(HitList, BulkAppendsSpanChunksAndJoinTheRunOfTheirSkip) {
  HitList list;
  std::vector<int> positions(2 * kChunk + 3);
  std::iota(positions.begin(), positions.end(), 1);
  list.append(2, 5);
  list.appendRun(2, positions.data(), static_cast<int>(positions.size()));
  const int first = list.appendSlots(3, 2);
  list.pos(first) = 11;
  list.pos(first + 1) = 12;
  ASSERT_EQ(list.count(), 2 * kChunk + 6);
  EXPECT_EQ(list.runCount(), 2);  // one run of skip 2, one of skip 3
  EXPECT_EQ(list.at(1).pos, 1);
  EXPECT_EQ(list.at(kChunk).pos, kChunk);
  EXPECT_EQ(list.at(2 * kChunk + 3).pos, 2 * kChunk + 3);
  EXPECT_EQ(list.at(2 * kChunk + 3).skip, 2);
  EXPECT_EQ(list.at(2 * kChunk + 4).skip, 3);
  EXPECT_EQ(list.at(2 * kChunk + 5).pos, 12);
  list.appendRun(4, positions.data(), 0);  // no hits: no run
  EXPECT_EQ(list.runCount(), 2);

  list.clear();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.runCount(), 0);
  list.append(1, 1);
  EXPECT_EQ(list.at(0).pos, 1);
}

TEST(HitList, RunsSurviveTheMoveOfTheirArrayIntoALargeBlock) {
  // One hit per skip: the runs' array passes kLargeBlockBytes, where it
  // leaves the heap's resizing for a large block of its own.
  constexpr int kRuns = 300000;
  static_assert(kRuns * sizeof(HitList::Run) > kLargeBlockBytes);
  HitList list;
  for (int skip = 1; skip <= kRuns; ++skip) list.append(skip, 10 * skip);
  ASSERT_EQ(list.runCount(), kRuns);
  for (int index : {0, 15, 16, 131071, 131072, 262143, 262144, kRuns - 1}) {
    EXPECT_EQ(list.at(index).skip, index + 1) << index;
    EXPECT_EQ(list.at(index).pos, 10 * (index + 1)) << index;
    EXPECT_EQ(list.run(index).first, index) << index;
  }
}

TEST(HitListDeathTest, RunsThatCannotMoveIntoALargeBlockEndWithTheMemoryMessage) {
  // 1 MB of room above the reserve: the runs' array grows to 1 MB, and its
  // next size, a large block of 2 MB, is refused.
  EXPECT_EXIT(
      {
        setMemoryStatusSource([] { return MemoryStatus{true, (65 << 20), 1 << 30}; });
        HitList list(10);
        for (int skip = 1; skip <= 300000; ++skip) list.append(skip, skip);
      },
      testing::ExitedWithCode(1), "^cannot get the memory of 2097 K bytes\n$");
}

TEST(HitListDeathTest, AppendingPastTheLimitEndsWithTheMemoryMessage) {
  // The backward list's limit is what the forward hits leave of the numbers.
  EXPECT_EXIT(
      {
        HitList list;
        list.setLimit(2);
        list.append(1, 1);
        list.appendRun(1, std::vector<int>{2, 3}.data(), 2);
      },
      testing::ExitedWithCode(1), "^cannot get the memory of 12 bytes\n$");
}

}  // namespace
