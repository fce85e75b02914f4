#include "search/scan_team.h"

#include <algorithm>
#include <system_error>

int scanThreads(const FastScanTuning& tuning, double work) {
  if (work < static_cast<double>(tuning.parallel_work)) return 1;
  const int wanted =
      tuning.threads > 0 ? tuning.threads : static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(wanted, 1, kMaxScanThreads);
}

ScanTeam::ScanTeam(int threads) {
  for (int member = 1; member < threads; ++member) {
    auto helper = std::make_unique<Helper>();
    try {
      Helper* self = helper.get();
      helper->thread = std::thread([this, self, member] { helperLoop(self, member); });
    } catch (const std::system_error&) {
      break;  // the helpers started so far do the work
    }
    helpers_.push_back(std::move(helper));
  }
}

ScanTeam::~ScanTeam() {
  quit_ = true;
  for (auto& helper : helpers_) helper->go.release();
  for (auto& helper : helpers_) helper->thread.join();
}

void ScanTeam::run(const std::function<void(int)>& task) {
  task_ = &task;
  for (auto& helper : helpers_) helper->go.release();
  task(0);
  for (auto& helper : helpers_) helper->done.acquire();
}

void ScanTeam::helperLoop(Helper* self, int member) {
  for (;;) {
    self->go.acquire();
    if (quit_) return;
    (*task_)(member);
    self->done.release();
  }
}
