#include "util/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "unit/temp_file.h"

namespace {

TEST(IsRegularFile, OnlyAnExistingRegularFile) {
  const std::string path = writeTempFile("AB");
  EXPECT_TRUE(isRegularFile(path.c_str()));
  EXPECT_FALSE(isRegularFile(testing::TempDir().c_str()));
  EXPECT_FALSE(isRegularFile((path + "-missing").c_str()));
  std::remove(path.c_str());
}

#if defined(_WIN32)
TEST(IsRegularFile, NamesThatWindowsMapsToADeviceAreNeverFiles) {
  for (const char* name :
       {"NUL", "nul", "nul.txt", "NUL:", "Nul .c", "CON", "con.log", "PRN", "AUX", "COM1",
        "com9.txt", "LPT1", "CONIN$", "CONOUT$", "C:nul", "sub\\COM1.dat", "sub/aux.h"}) {
    EXPECT_FALSE(isRegularFile(name)) << name;
  }
}

TEST(IsRegularFile, NamesThatOnlyResembleADeviceAreFiles) {
  // The test's own folder holds them; each is made and removed in turn.
  for (const char* name : {"nul1.txt", "console.txt", "com10.txt", "nulx", "auxiliary"}) {
    const std::string path = testing::TempDir() + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fputs("AB", file);
    std::fclose(file);
    EXPECT_TRUE(isRegularFile(path.c_str())) << path;
    std::remove(path.c_str());
  }
}
#endif

}  // namespace
