// Measures one workload of the scan per run, so that every measurement
// starts from a fresh heap: a search in both directions with either engine,
// a sample of the plain loop's skips for the workloads too long to run
// whole, Ctrl-C latency, and the loader's peak memory. Prints one line of
// key=value pairs for bench/run.sh to put into its table. It builds for
// Windows too (bench/windows.sh runs it under Wine), where the peak memory
// is not measured (peak_bytes=-1) and the quit mode is not offered.
//
//   scan_bench scan <text> <plain|fast> <string> <all_skips 0|1> [threads [widest step]]
//   scan_bench quit <text> <string> <seconds before the Ctrl-C>
//   scan_bench sample <text> <string> <all_skips 0|1> <skips per direction>
//   scan_bench interrupt <text> <string> <all_skips 0|1> <trials>
//   scan_bench load <file>
//   scan_bench program <elsScan> <text> <seconds before a Ctrl-C, or -1>
//   scan_bench widths
//
// The widest step is given in skips, one of the widths that widths lists
// (default the widest); the scan takes the widest up to it that this build
// and the processor have, and scan prints that one as step (1 for the plain
// loop). Exit status 2 for wrong arguments or an unreadable
// text, 3 for a mode that this system's build does not offer.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_platform.h"
#include "core/hit_list.h"
#include "core/main_info.h"
#include "search/fast_scan.h"
#include "search/mask_steps.h"
#include "search/run.h"
#include "search/scan.h"
#include "search/scan_job.h"
#include "search/scan_tuning.h"
#include "text/loader.h"
#include "util/interrupt.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The memory a measurement took beyond what the process held before it, from
// the peak; -1 where the peak could not be started again or is unknown.
class PeakMemory {
 public:
  PeakMemory() : before_(residentBytes()), reset_(resetPeakResident()) {}
  long long bytes() const {
    const long long peak = peakResidentBytes();
    return reset_ && before_ >= 0 && peak >= 0 ? peak - before_ : -1;
  }

 private:
  long long before_;
  bool reset_;
};

// The widest width argument, in skips, as the tuning takes it; false for
// a number of skips that no width has.
bool parseWidth(const char* argument, MaskWidth* width) {
  const int skips = std::atoi(argument);
  for (const MaskWidthRow& row : kMaskWidths) {
    if (row.skips != skips) continue;
    *width = row.width;
    return true;
  }
  return false;
}

// The widths that this build knows, narrowest first, whether or not the
// processor has them: bench/windows.sh takes its list from here.
int runWidths() {
  for (const MaskWidthRow& row : kMaskWidths) std::printf("%d\n", row.skips);
  return 0;
}

char* loadCorpus(const char* path) {
  resetMainInfo();
  char* text = loadText(path);
  if (text == nullptr) std::exit(2);
  mainInfo.text = text;
  mainInfo.textLen = static_cast<int>(std::strlen(text));
  return text;
}

void reverseInPlace(char* text) { std::reverse(text, text + std::strlen(text)); }

// Hits in the list, and a checksum of their order that two engines must share.
void summarize(const HitList& list, long long* count, unsigned long long* checksum) {
  for (int r = 0; r < list.runCount(); ++r) {
    const auto skip = static_cast<unsigned long long>(list.run(r).skip);
    for (int index = list.run(r).first; index < list.runEnd(r); ++index) {
      ++*count;
      *checksum = (*checksum * 1000003u) ^ skip << 32 ^ static_cast<unsigned>(list.pos(index));
    }
  }
}

// Both directions, as a search run does them: forward, then the reversed
// text, restored afterwards; both lists stay until the end.
int runScan(int argc, char** argv) {
  if (argc < 6 || argc > 8) return 2;
  if (argc >= 7) fastScanTuning.threads = std::atoi(argv[6]);
  if (argc == 8 && !parseWidth(argv[7], &fastScanTuning.widest_mask)) return 2;
  char* text = loadCorpus(argv[2]);
  const bool plain = std::strcmp(argv[3], "plain") == 0;
  const char* pattern = argv[4];
  const int all_skips = std::atoi(argv[5]);
  auto* scan = plain ? findSequencesPlain : findSequences;
  HitList forward;
  HitList backward;
  const PeakMemory memory;
  const double cpu_before = processCpuSeconds();
  const Clock::time_point start = Clock::now();
  scan(all_skips, pattern, text, &forward);
  const double forward_seconds = secondsSince(start);
  reverseInPlace(text);
  scan(all_skips, pattern, text, &backward);
  reverseInPlace(text);
  const double seconds = secondsSince(start);
  const double cpu = processCpuSeconds() - cpu_before;
  const long long peak = memory.bytes();
  long long forward_hits = 0;
  long long backward_hits = 0;
  unsigned long long checksum = 0;
  summarize(forward, &forward_hits, &checksum);
  summarize(backward, &backward_hits, &checksum);
  std::printf(
      "seconds=%.4f forward_seconds=%.4f cpu_seconds=%.4f forward=%lld backward=%lld "
      "peak_bytes=%lld checksum=%016llx step=%d\n",
      seconds, forward_seconds, cpu, forward_hits, backward_hits, peak, checksum,
      plain ? 1 : maskWidthRow(widestMaskWidth(fastScanTuning.widest_mask)).skips);
  return 0;
}

// A search stopped by Ctrl-C after some seconds of its forward scan, then
// its listing as v gives it, answered q at the first prompt, standard output
// to /dev/null: the time of the whole listing, nearly all of it spent after
// the q.
int runQuit(int argc, char** argv) {
  if (argc != 5) return 2;
  char* text = loadCorpus(argv[2]);
  const char* pattern = argv[3];
  const double delay = std::atof(argv[4]);
  std::snprintf(mainInfo.pattern, sizeof mainInfo.pattern, "%s", pattern);
  mainInfo.patternLen = static_cast<int>(std::strlen(pattern));
  auto& forward = *new HitList;
  auto& backward = *new HitList;
  std::thread ctrl_c([delay] {
    std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    interrupted = 1;
  });
  findSequences(1, pattern, text, &forward);
  ctrl_c.join();
  mainInfo.forwardCount = forward.count();
  std::FILE* replies = std::tmpfile();
  if (replies == nullptr) return 2;
  std::fputs("q\nq\n", replies);
  std::rewind(replies);
  const int saved_stdout = redirectForListing(replies);
  if (saved_stdout < 0) return 3;
  const Clock::time_point start = Clock::now();
  searchBoth(0, 0, &forward, &backward);
  std::fflush(stdout);
  const double seconds = secondsSince(start);
  restoreStandardOutput(saved_stdout);
  std::printf("listed=%d seconds=%.6f\n", forward.count(), seconds);
  return 0;
}

// The plain loop costs one poll and one compare per start position, so its
// time for a whole scan is the time of a sample of skips spread over the
// range, scaled by all start positions over the sample's.
int runSample(int argc, char** argv) {
  if (argc != 6) return 2;
  char* text = loadCorpus(argv[2]);
  const char* pattern = argv[3];
  const int all_skips = std::atoi(argv[4]);
  const int samples = std::atoi(argv[5]);
  const int text_len = mainInfo.textLen;
  const int pattern_len = static_cast<int>(std::strlen(pattern));
  if (pattern_len < 2) return 2;
  const ScanJob job = scanJob(text, text_len, pattern, pattern_len, all_skips, mainInfo.skipLimit);
  const int last = std::min(job.max_skip, job.lastFittingSkip());
  double all_starts = 0;
  for (int skip = 1; skip <= last; ++skip) all_starts += text_len - (pattern_len - 1) * skip;
  double estimate = 0;
  for (int direction = 0; direction < 2; ++direction) {
    double sample_starts = 0;
    HitList list;
    bool found = false;
    const Clock::time_point start = Clock::now();
    for (int k = 0; k < samples; ++k) {
      const int skip =
          1 + static_cast<int>(static_cast<long long>(last - 1) * k / std::max(1, samples - 1));
      sample_starts += text_len - (pattern_len - 1) * skip;
      plainScanSkip(job, skip, &list, &found);
    }
    estimate += secondsSince(start) * all_starts / sample_starts;
    reverseInPlace(text);
  }
  std::printf("estimated_seconds=%.1f sampled_skips=%d of=%d\n", estimate, samples, last);
  return 0;
}

// The program's handler as it acts during a scan, and only that: a trial
// whose signal comes just after the scan has returned is not counted, where
// the program's handler would end the benchmark. Some systems reset the
// handler on delivery.
extern "C" void stopTheScan(int) {
  std::signal(SIGINT, stopTheScan);
  if (searching != 0) {
    interrupted = 1;
    if (searching == 0) interrupted = 0;  // the scan ended in between
  }
}

// Raises SIGINT at a random moment of a scan, on a thread of its own, and
// measures how long the scan takes to return after it.
int runInterrupt(int argc, char** argv) {
  if (argc != 6) return 2;
  char* text = loadCorpus(argv[2]);
  const char* pattern = argv[3];
  const int all_skips = std::atoi(argv[4]);
  const int trials = std::atoi(argv[5]);
  std::signal(SIGINT, stopTheScan);
  HitList head;
  Clock::time_point start = Clock::now();
  findSequences(all_skips, pattern, text, &head);
  const double full = secondsSince(start);
  std::mt19937 rng(7);
  double worst = 0;
  int stopped = 0;
  for (int trial = 0; trial < trials; ++trial) {
    const auto delay = std::chrono::duration<double>(
        std::uniform_real_distribution<double>(0.05, 0.9)(rng) * full);
    Clock::time_point sent;
    std::thread ctrl_c([&] {
      std::this_thread::sleep_for(delay);
      sent = Clock::now();
      std::raise(SIGINT);
    });
    start = Clock::now();
    findSequences(all_skips, pattern, text, &head);
    const Clock::time_point returned = Clock::now();
    ctrl_c.join();
    if (returned < sent) continue;  // the scan ended before the signal
    ++stopped;
    worst = std::max(worst, std::chrono::duration<double>(returned - sent).count());
  }
  std::printf("worst_latency_ms=%.2f stopped=%d trials=%d full_seconds=%.3f\n", worst * 1000,
              stopped, trials, full);
  return 0;
}

int runLoad(int argc, char** argv) {
  if (argc != 3) return 2;
  resetMainInfo();
  const PeakMemory memory;
  char* text = loadText(argv[2]);
  if (text == nullptr) return 2;
  const long long peak = memory.bytes();
  std::FILE* file = std::fopen(argv[2], "rb");
  if (file == nullptr) return 2;
  std::fseek(file, 0, SEEK_END);
  const long file_bytes = std::ftell(file);
  std::fclose(file);
  std::printf("file_bytes=%ld text_bytes=%zu peak_bytes=%lld\n", file_bytes, std::strlen(text),
              peak);
  return 0;
}

// The real program on a text with the command q alone: its time from start
// to exit, its processor time (user and system) and its peak memory. With a
// delay of 0 or more it gets no command, a real Ctrl-C after the delay
// instead, and the time from the signal to its exit is measured too; the
// load was still running then if the program never wrote its prompt.
int runProgramOnce(int argc, char** argv) {
  if (argc != 5) return 2;
  ProgramRun run{};
  if (!runProgramOnText(argv[2], argv[3], std::atof(argv[4]), &run)) return 3;
  std::printf("seconds=%.4f cpu_seconds=%.4f peak_bytes=%lld status=%d prompted=%d", run.seconds,
              run.cpu_seconds, run.peak_bytes, run.status, run.prompted ? 1 : 0);
  if (run.latency_ms >= 0) std::printf(" latency_ms=%.2f", run.latency_ms);
  std::printf("\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string mode = argv[1];
  if (mode == "scan") return runScan(argc, argv);
  if (mode == "sample") return runSample(argc, argv);
  if (mode == "interrupt") return runInterrupt(argc, argv);
  if (mode == "load") return runLoad(argc, argv);
  if (mode == "quit") return runQuit(argc, argv);
  if (mode == "program") return runProgramOnce(argc, argv);
  if (mode == "widths" && argc == 2) return runWidths();
  return 2;
}
