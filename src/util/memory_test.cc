#include "util/memory.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#if !defined(__has_feature)
#define __has_feature(x) 0
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || \
    __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ELSSCAN_SANITIZER 1
#else
#define ELSSCAN_SANITIZER 0
#endif

namespace {

// Limits this (child) process's address space so that large requests fail.
void limitAddressSpace() {
  const rlimit limit{512L << 20, 512L << 20};
  setrlimit(RLIMIT_AS, &limit);
}

TEST(Getmem, BlockReadsAsZeroOverItsWholeSize) {
  for (int size : {0, 1, 1000, 1 << 20}) {
    auto* block = static_cast<unsigned char*>(getmem(size));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < size; ++i) ASSERT_EQ(block[i], 0) << size;
    std::free(block);
  }
}

TEST(Moremem, KeepsTheContents) {
  auto* block = static_cast<char*>(getmem(4));
  block[0] = 'a';
  block[3] = 'd';
  block = static_cast<char*>(moremem(block, 100000));
  EXPECT_EQ(block[0], 'a');
  EXPECT_EQ(block[3], 'd');
  std::free(block);
}

TEST(LargeBlock, IsAlignedToItsSizeClassAndWholeAtBothEnds) {
  constexpr std::size_t kSize = kLargeBlockBytes + 12345;
  auto* block = static_cast<unsigned char*>(allocateLargeBlock(kSize));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % kLargeBlockBytes, 0u);
  block[0] = 1;
  block[kSize - 1] = 2;
  EXPECT_EQ(block[0] + block[kSize - 1], 3);
  std::free(block);
  // Below the large size a plain block does.
  void* small = allocateLargeBlock(100);
  ASSERT_NE(small, nullptr);
  std::free(small);
}

class MemoryExhaustion : public testing::Test {
 protected:
  void SetUp() override {
    if (ELSSCAN_SANITIZER) GTEST_SKIP() << "address-space limits do not work under a sanitizer";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
};

TEST(MemoryExhausted, CountsKiloBytesOfThousandBytesRoundedDown) {
  const struct {
    std::size_t size;
    bool leading_newline;
    const char* message;
  } cases[] = {
      {1000, true, "^\ncannot get the memory of 1000 bytes\n$"},
      {1001, true, "^\ncannot get the memory of 1 K bytes\n$"},
      {1999, false, "^cannot get the memory of 1 K bytes\n$"},
      {4000, false, "^cannot get the memory of 4 K bytes\n$"},
  };
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const auto& c : cases) {
    EXPECT_EXIT(memoryExhausted(c.size, c.leading_newline), testing::ExitedWithCode(1), c.message);
  }
}

TEST(MemoryExhausted, ThreadsFailingAtOnceWriteOneMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atomic<bool> go = false;
        std::vector<std::thread> threads;
        for (int k = 0; k < 4; ++k) {
          threads.emplace_back([&go] {
            while (!go) {
            }
            memoryExhausted(5000, true);
          });
        }
        go = true;
        memoryExhausted(5000, true);
      },
      testing::ExitedWithCode(1), "^\ncannot get the memory of 5 K bytes\n$");
}

TEST_F(MemoryExhaustion, FailedGetmemReportsKiloBytesAndExits) {
  EXPECT_EXIT((limitAddressSpace(), getmem(1999999999)), testing::ExitedWithCode(1),
              "^\ncannot get the memory of 1999999 K bytes\n$");
}

TEST_F(MemoryExhaustion, FailedMoreMemReportsWithoutLeadingNewline) {
  EXPECT_EXIT((limitAddressSpace(), moremem(getmem(10), 1500000000)), testing::ExitedWithCode(1),
              "^cannot get the memory of 1500000 K bytes\n$");
}

constexpr std::align_val_t kAlign{64};

// Every form of the program's new takes its block through the budget and
// the failure hook, and the matching delete gives it back; the nothrow forms
// give null where the others would end the program.
TEST(OwnNew, EveryFormAllocatesAndTheNothrowFormsGiveNullOnFailure) {
  if (!ELSSCAN_OWN_NEW) GTEST_SKIP() << "needs the program's own operator new";
  const struct {
    void* (*make)(std::size_t);
    void (*free)(void*, std::size_t);
    bool nothrow;
    std::size_t alignment;
  } forms[] = {
    {[](std::size_t n) { return ::operator new(n, std::nothrow); },
     [](void* p, std::size_t) { ::operator delete(p, std::nothrow); }, true, 16},
    {[](std::size_t n) { return ::operator new[](n, std::nothrow); },
     [](void* p, std::size_t) { ::operator delete[](p, std::nothrow); }, true, 16},
    {[](std::size_t n) { return ::operator new(n, kAlign, std::nothrow); },
     [](void* p, std::size_t) { ::operator delete(p, kAlign, std::nothrow); }, true, 64},
    {[](std::size_t n) { return ::operator new[](n, kAlign, std::nothrow); },
     [](void* p, std::size_t) { ::operator delete[](p, kAlign, std::nothrow); }, true, 64},
    {[](std::size_t n) { return ::operator new(n, kAlign); },
     [](void* p, std::size_t) { ::operator delete(p, kAlign); }, false, 64},
    {[](std::size_t n) { return ::operator new[](n, kAlign); },
     [](void* p, std::size_t) { ::operator delete[](p, kAlign); }, false, 64},
// clang declares the sized forms of delete only when asked to.
#if defined(__cpp_sized_deallocation)
    {[](std::size_t n) { return ::operator new[](n); },
     [](void* p, std::size_t n) { ::operator delete[](p, n); }, false, 16},
    {[](std::size_t n) { return ::operator new(n, kAlign); },
     [](void* p, std::size_t n) { ::operator delete(p, n, kAlign); }, false, 64},
    {[](std::size_t n) { return ::operator new[](n, kAlign); },
     [](void* p, std::size_t n) { ::operator delete[](p, n, kAlign); }, false, 64},
#endif
  };
  for (std::size_t k = 0; k < std::size(forms); ++k) {
    void* block = forms[k].make(100);
    ASSERT_NE(block, nullptr) << k;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % forms[k].alignment, 0u) << k;
    forms[k].free(block, 100);
    if (!forms[k].nothrow) continue;
    allocationNumber = 0;
    failingAllocation = 1;
    block = forms[k].make(100);
    failingAllocation = 0;
    EXPECT_EQ(block, nullptr) << k;
  }
}

TEST_F(MemoryExhaustion, EndfunRunsOnceBeforeTheExit) {
  EXPECT_EXIT(
      (
          limitAddressSpace(), endfun = [] { std::fputs("end\n", stderr); }, getmem(1999999999)),
      testing::ExitedWithCode(1), "^\ncannot get the memory of 1999999 K bytes\nend\n$");
}

TEST_F(MemoryExhaustion, LargestRequestReturnsNullAfterItsMessage) {
  EXPECT_EXIT(
      {
        limitAddressSpace();
        void* block = getmem(INT_MAX);
        std::exit(block == nullptr ? 7 : 8);
      },
      testing::ExitedWithCode(7), "^\ncannot get the memory of 2147483 K bytes\n$");
}

TEST_F(MemoryExhaustion, FailedOverAlignedNewReportsThroughTheSameMessage) {
  if (!ELSSCAN_OWN_NEW) GTEST_SKIP() << "needs the program's own operator new";
  EXPECT_EXIT(
      (limitAddressSpace(), static_cast<void>(::operator new (1280000000, std::align_val_t{64}))),
      testing::ExitedWithCode(1), "^\ncannot get the memory of 1280000 K bytes\n$");
}

TEST_F(MemoryExhaustion, FailedStandardContainerReportsThroughTheSameMessage) {
  if (!ELSSCAN_OWN_NEW) GTEST_SKIP() << "needs the program's own operator new";
  EXPECT_EXIT((limitAddressSpace(), std::string(1200000000, 'x')), testing::ExitedWithCode(1),
              "^\ncannot get the memory of 1200000 K bytes\n$");
}

}  // namespace
