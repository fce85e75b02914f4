// The joined scan against the plain loop: on many random texts and strings
// both must give the same hits, marks, messages and result, and a Ctrl-C at
// any point must leave what the plain loop leaves when stopped at some point.
// Small tunings (batches of pairs, chunks of the hit list, passes between
// polls) bring the paths of long texts within reach of short ones.
#include "search/fast_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/hit_list.h"
#include "core/main_info.h"
#include "search/letter_index.h"
#include "search/mask_steps.h"
#include "search/scan.h"
#include "search/scan_job.h"
#include "search/scan_team.h"
#include "search/scan_tuning.h"
#include "util/interrupt.h"
#include "util/scoped_tuning.h"

// Names a width in the tests' messages by its skips (found by gtest
// through the row's namespace).
static void PrintTo(const MaskWidthRow& row, std::ostream* os) { *os << row.skips << " skips"; }

namespace {

using Pairs = std::vector<std::pair<int, int>>;  // (skip, pos)

struct Outcome {
  Pairs hits;
  std::string marks;  // all that the scan wrote to the message channel
  int result = 0;
  int searching_after = 0;
  int interrupted_after = 0;
};

using Scan = int (*)(int, const char*, const char*, HitList*);

std::atomic<long> polls_left{-1};

// Sets interrupted once the chosen number of polls has gone by.
void countPoll() {
  if (polls_left.fetch_sub(1) == 0) interrupted = 1;
}

// One random case: a text over a small alphabet, a string over the same
// letters (now and then one that the text lacks), and the skip bound.
struct Case {
  std::string text;
  std::string pattern;
  int all_skips = 0;
  int skip_limit = 10000;
};

class FastScan : public testing::Test {
 protected:
  void SetUp() override { resetMainInfo(); }
  void TearDown() override { interruptPollHook = nullptr; }

  Outcome run(Scan scan, const Case& c) const {
    mainInfo.skipLimit = c.skip_limit;
    HitList list(chunk_shift_);
    list.append(7, 7);  // a stale hit, dropped by the scan
    Outcome out;
    testing::internal::CaptureStderr();
    out.result = scan(c.all_skips, c.pattern.c_str(), c.text.c_str(), &list);
    out.marks = testing::internal::GetCapturedStderr();
    out.searching_after = searching;
    out.interrupted_after = interrupted;
    out.hits.reserve(static_cast<std::size_t>(list.count()));
    for (int r = 0; r < list.runCount(); ++r) {
      for (int index = list.run(r).first; index < list.runEnd(r); ++index) {
        out.hits.emplace_back(list.run(r).skip, list.pos(index));
      }
    }
    return out;
  }

  // Runs both engines on c: they must agree on the hits, the marks and the
  // result.
  testing::AssertionResult sameAsPlain(const Case& c) const {
    const Outcome plain = run(findSequencesPlain, c);
    const Outcome fast = run(findSequences, c);
    if (fast.hits != plain.hits)
      return testing::AssertionFailure() << "hits differ: " << describe(c);
    if (fast.marks != plain.marks || fast.result != plain.result) {
      return testing::AssertionFailure() << "marks or results differ: " << fast.marks << " / "
                                         << plain.marks << ": " << describe(c);
    }
    return testing::AssertionSuccess();
  }

  // Random sizes for the blocks and the switch to several threads, so that
  // short texts cross block boundaries and the merge of the threads' hits.
  void shuffleTuning() {
    tuning_->method = randomMethod();
    tuning_->min_block_skips = pick(0, 1) == 0 ? 1 : pick(1, 60);
    tuning_->max_block_skips = pick(0, 1) == 0 ? pick(1, 40) : pick(41, 400);
    tuning_->block_work = pick(0, 1) == 0 ? pick(1, 400) : 1 << 30;
    tuning_->block_hits = pick(0, 1) == 0 ? pick(1, 50) : 1 << 30;
    tuning_->parallel_work = randomParallelWork();
    tuning_->threads = pick(1, 4);
    tuning_->widest_mask = randomWidth();
    shuffleSmallSizes();
  }

  // Batches of pairs, passes between polls and chunks of hits that short
  // texts outgrow, or the program's own sizes.
  void shuffleSmallSizes() {
    tuning_->pairs_per_batch = pick(0, 1) == 0 ? pick(1, 8) : kMaxPairsPerBatch;
    tuning_->positions_per_poll = pick(0, 1) == 0 ? pick(1, 64) : kPositionsPerPoll;
    chunk_shift_ = pick(0, 1) == 0 ? pick(0, 5) : HitList::kChunkShift;
  }

  // Steps of the masks of any width that the processor has; a wider one
  // that it lacks falls back to the next narrower.
  MaskWidth randomWidth() {
    return kMaskWidths[static_cast<std::size_t>(pick(0, static_cast<int>(kMaskWidthCount) - 1))]
        .width;
  }

  // Threads for every scan, for none, or a work between a short text's
  // length and its scan's, so that the count of the letters and the scan
  // take teams of their own.
  long long randomParallelWork() {
    switch (pick(0, 2)) {
      case 0:
        return 0;
      case 1:
        return 1LL << 40;
      default:
        return pick(1, 3000);
    }
  }

  // kCheapest, kPairs or kMasks.
  JoinMethod randomMethod() { return static_cast<JoinMethod>(pick(0, 2)); }

  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  std::string randomAlphabet() {
    // Shift-JIS lead and trail bytes among plain letters.
    static const std::string kLetters = "ABCE\x81\x82\x9f\xe0\xfc\x40\xa0\xff";
    std::string alphabet;
    const int size = pick(1, 4);
    while (static_cast<int>(alphabet.size()) < size) {
      const char letter =
          kLetters[static_cast<std::size_t>(pick(0, static_cast<int>(kLetters.size()) - 1))];
      if (alphabet.find(letter) == std::string::npos) alphabet += letter;
    }
    return alphabet;
  }

  std::string randomString(const std::string& alphabet, int length) {
    std::string s;
    for (int i = 0; i < length; ++i) {
      s += alphabet[static_cast<std::size_t>(pick(0, static_cast<int>(alphabet.size()) - 1))];
    }
    return s;
  }

  // Lengths near the places where the marks change: a highest skip of 29,
  // 30, 59 or 60, and texts that the string's spacing divides.
  int randomTextLength(int pattern_len) {
    switch (pick(0, 3)) {
      case 0:
        return pick(pattern_len, 60);
      case 1:
        return (pattern_len - 1) * (29 + pick(0, 2) * 30 + pick(0, 1)) + pick(0, 1);
      case 2:
        return (pattern_len - 1) * pick(1, 70);
      default:
        return pick(pattern_len, 400);
    }
  }

  Case randomCase() {
    const std::string alphabet = randomAlphabet();
    Case c;
    const int pattern_len = pick(2, 8);
    c.pattern = randomString(alphabet, pattern_len);
    if (pick(0, 9) == 0) c.pattern[static_cast<std::size_t>(pick(0, pattern_len - 1))] = 'Z';
    c.text = randomString(alphabet, randomTextLength(pattern_len));
    c.all_skips = pick(0, 1);
    c.skip_limit = pick(0, 3) == 0 ? pick(1, 40) : pick(1, 400);
    return c;
  }

  static std::string describe(const Case& c) {
    return "text of " + std::to_string(c.text.size()) + " bytes, string of " +
           std::to_string(c.pattern.size()) + ", all_skips " + std::to_string(c.all_skips) +
           ", limit " + std::to_string(c.skip_limit) + " [" + c.text + "] [" + c.pattern + "]";
  }

  std::mt19937 rng_{20240611};
  int chunk_shift_ = HitList::kChunkShift;  // of the lists that the scans fill
  const ScopedTuning<FastScanTuning> tuning_{&fastScanTuning};
};

// True when got is what the plain loop keeps if it is stopped at the first
// poll of some start position: the marks of every skip up to that one, the
// hits of the skips below it and some first hits of that skip.
bool isPlainStopState(const Outcome& got, const Outcome& full, const Case& c) {
  if (got.hits == full.hits && got.marks == full.marks) return true;
  const ScanJob job = scanJob(c.text.c_str(), static_cast<int>(c.text.size()), c.pattern.c_str(),
                              static_cast<int>(c.pattern.size()), c.all_skips, c.skip_limit);
  if (full.marks.compare(0, got.marks.size(), got.marks) != 0) return false;
  if (got.hits.size() > full.hits.size() ||
      !std::equal(got.hits.begin(), got.hits.end(), full.hits.begin())) {
    return false;
  }
  for (int skip = 1; skip <= std::min(job.max_skip, job.lastFittingSkip()); ++skip) {
    const std::size_t marks =
        job.mark_interval > 0 ? static_cast<std::size_t>(skip / job.mark_interval) : 0;
    const std::size_t kept = got.hits.size();
    const bool before_all_kept = kept == full.hits.size() || full.hits[kept].first >= skip;
    const bool none_after = kept == 0 || got.hits[kept - 1].first <= skip;
    if (got.marks.size() == marks && before_all_kept && none_after) return true;
  }
  return false;
}

TEST_F(FastScan, MatchesThePlainLoopOnRandomTextsAndStrings) {
  for (int round = 0; round < 1000; ++round) {
    const Case c = randomCase();
    shuffleTuning();
    ASSERT_TRUE(sameAsPlain(c));
  }
}

// The team's members share the letter index's passes as well as the
// blocks: each number of them splits the text's runs differently. A tuning
// that asks for more threads than a scan takes gets the most it takes.
TEST_F(FastScan, MatchesThePlainLoopOnLongerTextsWithOneTwoThreeEightAndTooManyThreads) {
  for (int threads : {1, 2, 3, 8, 4 * kMaxScanThreads}) {
    for (int round = 0; round < (threads > 8 ? 2 : 8); ++round) {
      Case c = randomCase();
      c.text = randomString(randomAlphabet() + c.pattern, pick(1500, 3000));
      c.all_skips = pick(0, 1);
      c.skip_limit = pick(50, 1500);
      tuning_->method = randomMethod();
      tuning_->parallel_work = 0;
      tuning_->threads = threads;
      tuning_->min_block_skips = pick(1, 100);
      tuning_->max_block_skips = pick(1, 1 << 16);
      tuning_->block_work = pick(50, 50000);
      tuning_->widest_mask = randomWidth();
      shuffleSmallSizes();
      ASSERT_TRUE(sameAsPlain(c)) << threads << " threads";
    }
  }
}

// Blocks of one skip each, and one block over the whole range of skips.
TEST_F(FastScan, MatchesThePlainLoopWithBlocksAtTheirEdges) {
  tuning_->parallel_work = 0;
  tuning_->threads = 3;
  for (const bool whole : {false, true}) {
    tuning_->min_block_skips = whole ? 1 << 30 : 1;
    tuning_->max_block_skips = whole ? 1 << 30 : 1;
    for (int round = 0; round < 60; ++round) {
      Case c = randomCase();
      if (round % 3 == 0) c.text = randomString(randomAlphabet() + c.pattern, pick(500, 1500));
      tuning_->method = randomMethod();
      tuning_->widest_mask = randomWidth();
      ASSERT_TRUE(sameAsPlain(c)) << (whole ? "whole range" : "one skip");
    }
  }
}

// One block over every skip, so that each anchor meets its partners in
// several full batches.
TEST_F(FastScan, AnchorsWithThousandsOfPartnersInOneBlockMatchThePlainLoop) {
  tuning_->method = JoinMethod::kPairs;
  tuning_->min_block_skips = 1 << 30;
  tuning_->max_block_skips = 1 << 30;
  for (const char* pattern : {"AB", "ABA", "BAAB"}) {
    const Case c = {randomString("AAB", 2000), pattern, 1, 10000};
    EXPECT_EQ(run(findSequences, c).hits, run(findSequencesPlain, c).hits) << pattern;
  }
}

TEST_F(FastScan, LongStringsMatchThePlainLoop) {
  for (int length : {9, 40, 200}) {
    Case c;
    c.text = randomString("AB", length * 12);
    c.pattern = randomString("AB", length);
    for (int all_skips : {0, 1}) {
      c.all_skips = all_skips;
      c.skip_limit = 5;
      EXPECT_EQ(run(findSequences, c).hits, run(findSequencesPlain, c).hits) << describe(c);
    }
  }
}

TEST_F(FastScan, LongestStringAcceptedMatchesThePlainLoop) {
  const Case c = {std::string(4200, 'A'), std::string(4095, 'A'), 1, 10000};
  // The highest skip is 4200 / 4094 = 1, with 106 start positions.
  const Outcome fast = run(findSequences, c);
  EXPECT_EQ(fast.hits.size(), 106u);
  EXPECT_EQ(fast.hits, run(findSequencesPlain, c).hits);
}

// Every width of the masks' steps by name, each over blocks that span
// whole steps of it, the dense letters setting bits in most of them.
class FastScanWidth : public FastScan, public testing::WithParamInterface<MaskWidthRow> {
 protected:
  void SetUp() override {
    FastScan::SetUp();
    if (const char* missing = maskWidthMissing(GetParam().width)) GTEST_SKIP() << missing;
    tuning_->method = JoinMethod::kMasks;
    tuning_->widest_mask = GetParam().width;
  }
};

TEST_P(FastScanWidth, MatchesThePlainLoopOverWholeSteps) {
  for (int round = 0; round < 24; ++round) {
    const std::string alphabet = randomAlphabet().substr(0, 2);
    Case c = {randomString(alphabet, pick(600, 2500)), randomString(alphabet, pick(2, 5)), 1};
    tuning_->parallel_work = pick(0, 1) == 0 ? 0 : 1LL << 40;
    tuning_->threads = pick(1, 3);
    tuning_->min_block_skips = pick(0, 1) == 0 ? 1 << 30 : pick(1, 1200);
    tuning_->max_block_skips = 1 << 30;
    tuning_->block_hits = 1 << 30;
    ASSERT_TRUE(sameAsPlain(c));
  }
}

// tools/test.sh reads the widths that ran from these names.
std::string widthName(const testing::TestParamInfo<MaskWidthRow>& width) {
  return "Of" + std::to_string(width.param.skips) + "Skips";
}

INSTANTIATE_TEST_SUITE_P(Steps, FastScanWidth, testing::ValuesIn(kMaskWidths), widthName);

// The repository's sample without blanks (as -c loads it, 158,553 bytes),
// searched for strings of rare letters (joined by pairs) and of common ones
// (masks of 2 and 4 letters), each join forced too, with blocks of hundreds
// of skips. The plain loop's limits keep it to about a second.
TEST_F(FastScan, MatchesThePlainLoopOnGenesis) {
  std::FILE* file = std::fopen(ELSSCAN_SOURCE_DIR "/samples/genesis.txt", "rb");
  ASSERT_NE(file, nullptr);
  std::string text;
  for (int byte; (byte = std::fgetc(file)) != EOF;) {
    if (byte > 0x20) text.push_back(static_cast<char>(byte));
  }
  std::fclose(file);
  ASSERT_EQ(text.size(), 158553u);
  for (const Case& c :
       {Case{text, "Ishmael", 0, 1500}, Case{text, "the", 0, 1200}, Case{text, "there", 0, 600}}) {
    const Outcome plain = run(findSequencesPlain, c);
    ASSERT_GT(plain.hits.size(), 0u);
    *tuning_ = kLongTextTuning;
    EXPECT_EQ(run(findSequences, c).hits, plain.hits) << c.pattern << ", as the counts choose";
    tuning_->method = JoinMethod::kPairs;
    tuning_->pairs_per_batch = 16;
    EXPECT_EQ(run(findSequences, c).hits, plain.hits) << c.pattern << ", by pairs";
    tuning_->method = JoinMethod::kMasks;
    for (const MaskWidthRow& width : kMaskWidths) {
      if (maskWidthMissing(width.width) != nullptr) continue;
      tuning_->widest_mask = width.width;
      EXPECT_EQ(run(findSequences, c).hits, plain.hits)
          << c.pattern << ", by masks, " << width.skips << " skips a step";
    }
  }
}

TEST_F(FastScan, CtrlCAtAnyPollLeavesAPlainStopStateAndClearsBothFlags) {
  interruptPollHook = countPoll;
  for (int round = 0; round < 400; ++round) {
    const Case c = randomCase();
    shuffleTuning();
    polls_left = -1;
    const Outcome full = run(findSequencesPlain, c);
    const long polls = pick(0, 3) == 0 ? 0 : pick(0, 60);
    polls_left = polls;
    const Outcome plain_stopped = run(findSequencesPlain, c);
    polls_left = polls;
    const Outcome stopped = run(findSequences, c);
    polls_left = -1;
    ASSERT_TRUE(isPlainStopState(plain_stopped, full, c)) << describe(c);
    ASSERT_TRUE(isPlainStopState(stopped, full, c))
        << describe(c) << "; marks " << stopped.marks << " of " << full.marks << ", hits "
        << stopped.hits.size() << " of " << full.hits.size();
    ASSERT_EQ(stopped.result, stopped.hits.empty() ? 0 : 1);
    ASSERT_EQ(stopped.searching_after, 0);
    ASSERT_EQ(stopped.interrupted_after, 0);
  }
}

TEST_F(FastScan, CtrlCAtTheFirstPollKeepsNoHitAndOnlyAMarkDueBeforeSkipOne) {
  interruptPollHook = countPoll;
  polls_left = 0;
  // 60 skips: a mark every 2, the first before skip 2, so none yet.
  const Case c = {std::string(61, 'A'), "AA", 1, 10000};
  Outcome stopped = run(findSequences, c);
  EXPECT_TRUE(stopped.hits.empty());
  EXPECT_EQ(stopped.marks, "");
  EXPECT_EQ(stopped.result, 0);
  // 30 skips: a mark before every skip, skip 1's included.
  polls_left = 0;
  stopped = run(findSequences, {std::string(31, 'A'), "AA", 1, 10000});
  EXPECT_EQ(stopped.marks, ".");
  EXPECT_EQ(interrupted, 0);
}

}  // namespace
