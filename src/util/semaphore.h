// A binary semaphore made of a mutex and a condition variable, for handing
// work between two threads. The standard library's std::binary_semaphore of
// g++ 12 loses wake-ups where the system has no futex (MinGW-w64 on Windows),
// so that both threads wait for ever.
#ifndef SRC_UTIL_SEMAPHORE_H_
#define SRC_UTIL_SEMAPHORE_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "util/compiler.h"

class BinarySemaphore {
 public:
  // Longest spin of acquire() before it sleeps.
  // A thread that acquires first spins this long before it sleeps: waking a
  // sleeping thread costs tens of microseconds, as much as a whole block of
  // some scans, while the work handed over between the members of a scan
  // usually comes sooner than that.
  static constexpr std::chrono::microseconds kSpinTime{250};

  // Starts unavailable, as std::binary_semaphore{0}.
  BinarySemaphore() = default;
  BinarySemaphore(const BinarySemaphore&) = delete;
  BinarySemaphore& operator=(const BinarySemaphore&) = delete;

  // The store under the mutex pairs with the sleeper's test under it, so
  // that no wake-up is lost; the release order pairs with the spinner's
  // acquiring exchange, so that what this thread wrote before is seen.
  void release() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      available_.store(true, std::memory_order_release);
    }
    changed_.notify_one();
  }

  void acquire() {
    if (spinForRelease()) return;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return available_.exchange(false, std::memory_order_acquire); });
  }

 private:
  // Takes the semaphore when it is released within kSpinTime; the clock is
  // read every kSpinsPerClock tries.
  bool spinForRelease() {
    constexpr int kSpinsPerClock = 64;
    const auto deadline = std::chrono::steady_clock::now() + kSpinTime;
    for (;;) {
      for (int k = 0; k < kSpinsPerClock; ++k) {
        if (available_.load(std::memory_order_relaxed) &&
            available_.exchange(false, std::memory_order_acquire)) {
          return true;
        }
        ELSSCAN_SPIN_PAUSE();
      }
      if (std::chrono::steady_clock::now() >= deadline) return false;
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> available_{false};
};

#endif  // SRC_UTIL_SEMAPHORE_H_
