// The threads of one joined scan: the calling thread and up to 15 helpers,
// started when the scan begins and joined when it ends.
//
// Threads and memory order: run() hands every member one call of the task
// and returns when all have returned. A helper starts its call after
// acquiring its go semaphore, which the calling thread releases after
// writing everything the task reads; it ends the call by releasing its done
// semaphore, which the calling thread acquires. The semaphores are a mutex
// and a condition variable each (util/semaphore.h), so whatever the caller
// wrote before run() is visible to every task, and whatever the tasks wrote
// is visible to the caller when run() returns. Between two runs the helpers
// only wait: the data belongs to the caller.
#ifndef SRC_SEARCH_SCAN_TEAM_H_
#define SRC_SEARCH_SCAN_TEAM_H_

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "util/semaphore.h"

// Most threads a scan uses, the calling thread included.
inline constexpr int kMaxScanThreads = 16;

// The machine's number of cores, at least 1 and at most kMaxScanThreads.
int machineScanThreads();

class ScanTeam {
 public:
  // Starts threads - 1 helpers (none when threads is 1 or less); when the
  // system refuses a thread, the team makes do with those started.
  explicit ScanTeam(int threads);
  ~ScanTeam();
  ScanTeam(const ScanTeam&) = delete;
  ScanTeam& operator=(const ScanTeam&) = delete;

  // Members: the calling thread and the helpers that started.
  int size() const { return static_cast<int>(helpers_.size()) + 1; }

  // Calls task(member) for every member from 0 to size() - 1, member 0 on
  // the calling thread, and returns when every call has returned.
  void run(const std::function<void(int)>& task);

 private:
  struct Helper {
    BinarySemaphore go;
    BinarySemaphore done;
    std::thread thread;
  };

  void helperLoop(Helper* self, int member);

  std::vector<std::unique_ptr<Helper>> helpers_;
  const std::function<void(int)>* task_ = nullptr;  // set by run()
  bool quit_ = false;                               // set before the last release of go
};

#endif  // SRC_SEARCH_SCAN_TEAM_H_
