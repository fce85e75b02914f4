// The threads of one joined scan, and how many share each part of it: the
// calling thread and up to kMaxScanThreads - 1 helpers, started when the
// scan begins and joined when it ends.
#ifndef SRC_SEARCH_SCAN_TEAM_H_
#define SRC_SEARCH_SCAN_TEAM_H_

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "search/scan_tuning.h"
#include "util/semaphore.h"

// Most threads a scan uses, the calling thread included: the passes over
// the text keep one record per member in arrays of this size.
inline constexpr int kMaxScanThreads = 16;

// The threads that share a part of a scan whose estimated work is work, in
// the tuning's units: 1 below tuning.parallel_work, else tuning.threads, or
// one per core when that is 0; from 1 to kMaxScanThreads. The only place
// where a scan's thread counts are decided.
int scanThreads(const FastScanTuning& tuning, double work);

class ScanTeam {
 public:
  // Starts threads - 1 helpers (none when threads is 1 or less); when the
  // system refuses a thread, the team makes do with those started.
  // REQUIRES: threads at most kMaxScanThreads (as scanThreads gives).
  explicit ScanTeam(int threads);
  ~ScanTeam();
  ScanTeam(const ScanTeam&) = delete;
  ScanTeam& operator=(const ScanTeam&) = delete;

  // Members: the calling thread and the helpers that started.
  int size() const { return static_cast<int>(helpers_.size()) + 1; }

  // Calls task(member) for every member from 0 to size() - 1, member 0 on
  // the calling thread, and returns when every call has returned. Whatever
  // the caller wrote before is visible to every call, and whatever the
  // calls wrote is visible to the caller after: a helper starts its call
  // after acquiring its go semaphore, which the caller releases, and ends
  // it by releasing its done semaphore, which the caller acquires (each a
  // mutex and a condition variable, util/semaphore.h). Between two runs the
  // helpers only wait, and the data belongs to the caller.
  void run(const std::function<void(int)>& task);

 private:
  struct Helper {
    BinarySemaphore go;
    BinarySemaphore done;
    std::thread thread;
  };

  void helperLoop(Helper* self, int member);

  std::vector<std::unique_ptr<Helper>> helpers_;    // touched by the caller only
  const std::function<void(int)>* task_ = nullptr;  // set by run() before go
  bool quit_ = false;                               // set before the last go
};

#endif  // SRC_SEARCH_SCAN_TEAM_H_
