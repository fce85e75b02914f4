// Test helper: a file of given bytes in the test's temporary folder.
#ifndef TESTS_UNIT_TEMP_FILE_H_
#define TESTS_UNIT_TEMP_FILE_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

// Writes bytes to a file named after the running test and this process (so
// that tests run side by side never share one) and returns its path.
inline std::string writeTempFile(const std::string& bytes) {
  const std::string path = testing::TempDir() +
                           testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                           std::to_string(getpid());
  // A new file rather than the old one cut to nothing, which the file system
  // may write out to disk before it lets the next open go on.
  std::remove(path.c_str());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  EXPECT_NE(file, nullptr) << path;
  if (file != nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  return path;
}

#endif  // TESTS_UNIT_TEMP_FILE_H_
