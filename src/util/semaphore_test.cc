// The semaphore's hand-over, whether the waiter is still spinning or has
// gone to sleep when the release comes: a lost wake-up hangs the test.
#include "util/semaphore.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(BinarySemaphore, HandsEveryTurnOverWhetherTheWaiterSpinsOrSleeps) {
  BinarySemaphore ping;
  BinarySemaphore pong;
  int turns = 0;  // written by each side only when it holds its turn
  std::thread other([&] {
    for (int k = 0; k < 2000; ++k) {
      ping.acquire();
      ++turns;
      // Now and then the other side waits past its spin, and sleeps.
      if (k % 500 == 0) std::this_thread::sleep_for(BinarySemaphore::kSpinTime * 4);
      pong.release();
    }
  });
  for (int k = 0; k < 2000; ++k) {
    ping.release();
    pong.acquire();
    ASSERT_EQ(turns, k + 1);
  }
  other.join();
}

TEST(BinarySemaphore, ReleaseBeforeAcquireIsKeptOnceAndOnlyOnce) {
  BinarySemaphore semaphore;
  semaphore.release();
  semaphore.release();  // binary: a second release adds nothing
  semaphore.acquire();
  bool taken = false;
  std::thread late([&] {
    std::this_thread::sleep_for(BinarySemaphore::kSpinTime * 4);
    taken = true;
    semaphore.release();
  });
  semaphore.acquire();  // sleeps until the late release
  EXPECT_TRUE(taken);
  late.join();
}

}  // namespace
