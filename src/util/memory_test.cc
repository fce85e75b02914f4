#include "util/memory.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "util/memory_status.h"

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

constexpr std::uint64_t kMB = std::uint64_t{1} << 20;

// The status that fakeStatus hands the budget.
MemoryStatus fakeStatusValue = {};
MemoryStatus fakeStatus() { return fakeStatusValue; }

TEST(MemoryBudget, ReserveIsAThirtySecondAtLeast64MBButAtMostAQuarter) {
  const struct {
    std::uint64_t total;    // the machine's memory or the group's limit
    std::uint64_t reserve;  // what the budget must leave
  } cases[] = {
      {24576 * kMB, 768 * kMB},  // a machine: 1/32
      {1024 * kMB, 64 * kMB},    // a group of 1 GB: not 1/32 of the machine
      {256 * kMB, 64 * kMB},     // a quarter is 64 MB
      {128 * kMB, 32 * kMB},     // a quarter
      {64 * kMB, 16 * kMB},      // a small group keeps three quarters
  };
  for (const auto& c : cases) {
    // 8 MB above the reserve: 8 MB may be had, a byte more may not.
    fakeStatusValue = {true, c.reserve + 8 * kMB, c.total};
    setMemoryStatusSource(fakeStatus);
    void* fits = allocateBlock(8 * kMB);
    EXPECT_NE(fits, nullptr) << c.total / kMB;
    std::free(fits);
    setMemoryStatusSource(fakeStatus);
    EXPECT_EQ(allocateBlock(8 * kMB + 1), nullptr) << c.total / kMB;
  }
  setMemoryStatusSource(nullptr);
}

// A fake system under a folder of its own: its proc/meminfo (MemTotal 24 GB,
// MemAvailable 20 GB), and the files of each case, made fresh for each.
class MemoryGroups : public testing::Test {
 protected:
  using Files = std::vector<std::pair<std::string, std::string>>;

  MemoryStatus statusWith(const Files& files) {
    root_ = testing::TempDir() + "memory_groups_" + std::to_string(getpid());
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
    write("proc/meminfo",
          "MemTotal:       25165824 kB\nMemFree: 1 kB\n"
          "MemAvailable:   20971520 kB\n");
    for (const auto& [path, bytes] : files) write(path, bytes);
    return availableMemoryUnder(root_.c_str());
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

 private:
  void write(const std::string& path, const std::string& bytes) {
    const std::filesystem::path file = root_ + "/" + path;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << bytes;
  }

  std::string root_;
};

std::string repeat(const std::string& part, int count) {
  std::string out;
  for (int k = 0; k < count; ++k) out += part;
  return out;
}

// Mount lines of a machine with both versions, as systemd leaves them.
const char* const kMounts =
    "30 22 0:27 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw,mode=755\n"
    "34 30 0:31 / /sys/fs/cgroup/memory rw,relatime shared:9 - cgroup cgroup rw,memory\n"
    "35 30 0:32 / /sys/fs/cgroup/pids rw,relatime - cgroup cgroup rw,pids\n"
    "40 30 0:37 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n";

TEST_F(MemoryGroups, AvailableIsTheLeastRoomAndTotalTheLeastLimit) {
  const std::string v1 = "sys/fs/cgroup/memory/ci/job/memory.";
  const std::string v1_parent = "sys/fs/cgroup/memory/ci/memory.";
  const std::string v2 = "sys/fs/cgroup/unified/user/job/memory.";
  const std::string v2_parent = "sys/fs/cgroup/unified/user/memory.";
  const struct {
    const char* name;
    Files files;
    std::uint64_t available;
    std::uint64_t total;
  } cases[] = {
      {"no group files at all", {}, 20480 * kMB, 24576 * kMB},
      {"version 1, 1 GB, 300 MB used of which 100 MB inactive cache",
       {{"proc/self/cgroup", "5:pids:/\n4:memory:/ci/job\n0::/\n"},
        {"proc/self/mountinfo", kMounts},
        {v1 + "limit_in_bytes", "1073741824\n"},
        {v1 + "usage_in_bytes", "314572800\n"},
        {v1 + "stat", "cache 1\ninactive_file 1\ntotal_inactive_file 104857600\n"},
        {v1_parent + "limit_in_bytes", "9223372036854771712\n"},
        {v1_parent + "usage_in_bytes", "314572800\n"}},
       // The system keeps 4 MB of the cache, 1/256 of the limit.
       820 * kMB,
       1024 * kMB},
      {"version 1, 1300 MB, a file read twice: its 515 MB of cache are active",
       {{"proc/self/cgroup", "4:memory:/ci/job\n"},
        {"proc/self/mountinfo", kMounts},
        {v1 + "limit_in_bytes", "1363148800\n"},
        {v1 + "usage_in_bytes", "1347420160\n"},
        {v1 + "stat",
         "active_file 1\ntotal_inactive_file 5242880\ntotal_active_file 540016640\n"
         "total_dirty 8388608\ntotal_writeback 2097152\n"}},
       // 1300 - 1285 + 520 less 10 dirty or written, less 5.08 kept.
       519 * kMB,
       1300 * kMB},
      {"version 2, a cache mostly dirty",
       {{"proc/self/cgroup", "0::/user/job\n"},
        {"proc/self/mountinfo", kMounts},
        {v2 + "max", "1073741824\n"},
        {v2 + "current", "943718400\n"},
        {v2 + "stat",
         "anon 1\ninactive_file 104857600\nactive_file 314572800\nfile_dirty 262144000\n"
         "file_writeback 52428800\n"}},
       // 1024 - 900 + 400 less 300 dirty or written, less 4 kept.
       220 * kMB,
       1024 * kMB},
      {"version 2, a cache too small to keep 1/256 of the limit",
       {{"proc/self/cgroup", "0::/user/job\n"},
        {"proc/self/mountinfo", kMounts},
        {v2 + "max", "4294967296\n"},
        {v2 + "current", "4194304000\n"},
        {v2 + "stat", "inactive_file 4194304\nactive_file 2097152\n"}},
       // 4096 - 4000 + 6, less the half kept.
       99 * kMB,
       4096 * kMB},
      {"version 1, the parent's 512 MB, 400 MB used with a sibling",
       {{"proc/self/cgroup", "4:memory:/ci/job\n"},
        {"proc/self/mountinfo", kMounts},
        {v1 + "limit_in_bytes", "9223372036854771712\n"},
        {v1 + "usage_in_bytes", "104857600\n"},
        {v1_parent + "limit_in_bytes", "536870912\n"},
        {v1_parent + "usage_in_bytes", "419430400\n"}},
       112 * kMB,
       512 * kMB},
      {"version 2, max on its own group, 2 GB above it, past the machine's room below it",
       {{"proc/self/cgroup", "0::/user/job\n"},
        {"proc/self/mountinfo", kMounts},
        {v2 + "max", "max\n"},
        {v2 + "current", "1073741824\n"},
        {v2_parent + "max", "2147483648\n"},
        {v2_parent + "current", "1610612736\n"},
        {v2_parent + "stat", "anon 1\ninactive_file 0\n"},
        {"sys/fs/cgroup/unified/user/job/sub/memory.max", "1\n"}},
       512 * kMB,
       2048 * kMB},
      {"version 2 seen from a container, used past its limit",
       {{"proc/self/cgroup", "0::/docker/c1\n"},
        {"proc/self/mountinfo", "99 1 0:40 /docker/c1 /sys/fs/cgroup ro - cgroup2 cgroup2 rw\n"},
        {"sys/fs/cgroup/memory.max", "268435456\n"},
        {"sys/fs/cgroup/memory.current", "300000000\n"}},
       0,
       256 * kMB},
      // A line longer than the reader's buffer is skipped whole, neither its
      // start nor its end taken for a line, and a last line needs no LF.
      {"version 1, lines past the reader's buffer, last lines without LF",
       {{"proc/self/cgroup", "4:" + repeat("x,", 2500) + "x:memory:/elsewhere\n4:memory:/ci/job"},
        {"proc/self/mountinfo",
         "1 2 0:1 / /x rw - cgroup cgroup memory," + repeat("rw,", 1700) + "rw\n" + kMounts},
        {v1 + "limit_in_bytes", "1073741824"},
        {v1 + "usage_in_bytes", "943718400"},
        {v1 + "stat",
         "total_inactive_file " + repeat("9", 5000) + "\ntotal_active_file 104857600"}},
       // 1024 - 900 + 100, less 4 kept.
       220 * kMB,
       1024 * kMB},
      {"a limit that leaves more than the machine",
       {{"proc/self/cgroup", "0::/user/job\n"},
        {"proc/self/mountinfo", kMounts},
        {v2 + "max", "34359738368\n"},
        {v2 + "current", "0\n"}},
       20480 * kMB,
       24576 * kMB},
  };
  for (const auto& c : cases) {
    const MemoryStatus status = statusWith(c.files);
    EXPECT_TRUE(status.known) << c.name;
    EXPECT_EQ(status.available / kMB, c.available / kMB) << c.name;
    EXPECT_EQ(status.total / kMB, c.total / kMB) << c.name;
  }
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
