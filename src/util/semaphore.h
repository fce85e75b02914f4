// A binary semaphore made of a mutex and a condition variable, for handing
// work between two threads. The standard library's std::binary_semaphore of
// g++ 12 loses wake-ups where the system has no futex (MinGW-w64 on Windows),
// so that both threads wait for ever.
#ifndef SRC_UTIL_SEMAPHORE_H_
#define SRC_UTIL_SEMAPHORE_H_

#include <condition_variable>
#include <mutex>

class BinarySemaphore {
 public:
  // Starts unavailable, as std::binary_semaphore{0}.
  BinarySemaphore() = default;
  BinarySemaphore(const BinarySemaphore&) = delete;
  BinarySemaphore& operator=(const BinarySemaphore&) = delete;

  void release() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      available_ = true;
    }
    changed_.notify_one();
  }

  void acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return available_; });
    available_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool available_ = false;
};

#endif  // SRC_UTIL_SEMAPHORE_H_
