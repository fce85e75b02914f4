#include "text/loader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/main_info.h"
#include "unit/temp_file.h"
#include "util/platform.h"

namespace {

class LoadText : public testing::Test {
 protected:
  void TearDown() override { removeSpaces = 0; }

  // Loads a file holding bytes; "<null>" when loadText refused it.
  std::string load(const std::string& bytes, int remove_spaces = 0) {
    const std::string path = writeTempFile(bytes);
    removeSpaces = remove_spaces;
    char* text = loadText(path.c_str());
    if (text == nullptr) return "<null>";
    std::string result = text;
    std::free(text);
    return result;
  }
};

TEST_F(LoadText, DropsLineBreaksWithOrWithoutRemovingSpaces) {
  EXPECT_EQ(load("AB\r\nXY\n"), "ABXY");
  EXPECT_EQ(load("AB\r\nXY\n", 1), "ABXY");
  EXPECT_EQ(load("\r\n\n\r"), "");
}

TEST_F(LoadText, RemovingSpacesDropsEveryByteUpToSpaceOnly) {
  EXPECT_EQ(load("A \tB"), "A \tB");
  EXPECT_EQ(load("A \tB\x7f\x81\x40\xff\x01\x1f", 1), "AB\x7f\x81\x40\xff");
  EXPECT_EQ(load(" \t\v\f\x01", 1), "");
}

TEST_F(LoadText, TextEndsAtNulAndDataAtCtrlZ) {
  EXPECT_EQ(load(std::string("AB\0CD", 5)), "AB");
  EXPECT_EQ(load(std::string(" A\0B", 4), 1), "A");
  EXPECT_EQ(load("AB\x1a"
                 "CD"),
            "AB");
}

TEST_F(LoadText, ChunkBoundariesLoseNothing) {
  for (std::size_t size : {1023u, 1024u, 1025u, 2048u, 2049u, 300000u}) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) bytes.push_back(static_cast<char>('a' + i % 26));
    EXPECT_EQ(load(bytes), bytes) << size;
  }
  // A line break split across the chunk boundary.
  EXPECT_EQ(load(std::string(1023, 'x') + "\r\ny"), std::string(1023, 'x') + "y");
}

TEST_F(LoadText, MissingOrNonRegularFileIsNotFound) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(loadText("no/such/file"), nullptr);
  EXPECT_EQ(loadText(testing::TempDir().c_str()), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "no/such/file: not found\n" + testing::TempDir() + ": not found\n");
}

TEST(MakeKindMap, MarksLeadAndTrailBytes) {
  const struct {
    const char* text;
    const char* map;
  } cases[] = {
      {"AB", "00"},       {"\x82\xA0", "12"},      {"\x80\x41", "12"},
      {"\xFD\x41", "00"}, {"\xA1", "0"},           {"\x81\x81\x40", "120"},
      {"A\x82", "00"},    {"\xFC\x0A\xE0", "120"}, {"", ""},
  };
  for (const auto& c : cases) {
    char* map = makeKindMap(c.text);
    EXPECT_STREQ(map, c.map) << c.text;
    std::free(map);
  }
}

TEST_F(LoadText, FileWhoseReadingFailsIsNotFound) {
  // A regular file whose reading fails at once (EIO): the text must not pass
  // for an empty or a cut one.
  const char* const kUnreadable = "/proc/self/mem";
  if (!isRegularFile(kUnreadable)) GTEST_SKIP() << "no " << kUnreadable;
  testing::internal::CaptureStderr();
  EXPECT_EQ(loadText(kUnreadable), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "/proc/self/mem: not found\n");
}

}  // namespace
