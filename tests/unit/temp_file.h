// Test helper: a file of given bytes in the test's temporary folder.
#ifndef TESTS_UNIT_TEMP_FILE_H_
#define TESTS_UNIT_TEMP_FILE_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

// The files that this process wrote, removed as it ends: only by the process
// that wrote them, not by a forked child that ends through exit while its
// parent still reads them.
struct TempFiles {
  const decltype(getpid()) owner = getpid();
  std::vector<std::string> paths;
  ~TempFiles() {
    if (getpid() != owner) return;
    for (const std::string& path : paths) std::remove(path.c_str());
  }
};

// Removes the file at path when the test program ends, if this process is
// the one that ends it then.
inline void removeWhenTestsEnd(const std::string& path) {
  static TempFiles written;
  written.paths.push_back(path);
}

// Writes bytes to a file named after the running test and this process (so
// that tests run side by side never share one) and returns its path. The
// file is removed when the test program ends.
inline std::string writeTempFile(const std::string& bytes) {
  // The child of a death test in the threadsafe style runs the test's body
  // again and ends without clean-up: it writes the same bytes to its
  // parent's file, which the parent then removes.
  auto id = getpid();
#if !defined(_WIN32)
  if (!GTEST_FLAG_GET(internal_run_death_test).empty()) id = getppid();
#endif
  const std::string path = testing::TempDir() +
                           testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                           std::to_string(id);
  // A new file rather than the old one cut to nothing, which the file system
  // may write out to disk before it lets the next open go on.
  std::remove(path.c_str());
  removeWhenTestsEnd(path);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  EXPECT_NE(file, nullptr) << path;
  if (file != nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  return path;
}

#endif  // TESTS_UNIT_TEMP_FILE_H_
