#include "text/loader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "core/main_info.h"
#include "unit/temp_file.h"
#include "util/memory.h"
#include "util/message.h"
#include "util/platform.h"

namespace {

// The text as a plain loop over the file's bytes makes it: what the loader
// must give whatever its chunks and runs.
std::string plainText(const std::string& file, bool remove_spaces) {
  std::string text;
  for (const char c : file) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0x1A || byte == '\0') break;
    if (byte == '\n' || byte == '\r' || (remove_spaces && byte <= 0x20)) continue;
    text.push_back(c);
  }
  return text;
}

// The kind map as a plain loop over the text makes it.
std::string plainKindMap(const std::string& text) {
  std::string map;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
      map += "12";
      ++i;
    } else {
      map += '0';
    }
  }
  return map;
}

std::string kindMapOf(const std::string& text) {
  char* map = makeKindMap(text.c_str());
  std::string result = map;
  std::free(map);
  return result;
}

class LoadText : public testing::Test {
 protected:
  void TearDown() override {
    removeSpaces = 0;
    loaderTuning = saved_tuning_;
  }

  // Loads a file holding bytes; "<null>" when loadText refused it.
  std::string load(const std::string& bytes, int remove_spaces = 0) {
    return loadFrom(writeTempFile(bytes), remove_spaces);
  }

  std::string loadFrom(const std::string& path, int remove_spaces) {
    removeSpaces = remove_spaces;
    char* text = loadText(path.c_str());
    if (text == nullptr) return "<null>";
    std::string result = text;
    std::free(text);
    return result;
  }

  const LoaderTuning saved_tuning_ = loaderTuning;
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

// Runs of letters, short and long, for the word-wide paths, between the bytes
// that the loader and the map act on, and now and then the end of the data
// or of the text.
std::string randomFile(std::mt19937* rng) {
  static const unsigned char kSpecial[] = {'\r', '\n', ' ',  '\t', 0x01, 0x1F, 0x20, 0x21, 0x7F,
                                           0x80, 0x81, 0x9F, 0xA0, 0xDF, 0xE0, 0xFC, 0xFD, 0xFF};
  const auto pick = [rng](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(*rng);
  };
  std::string file;
  const std::size_t length = pick(1000);
  while (file.size() < length) {
    // Mostly short runs; now and then one long enough to move as a block.
    for (std::size_t k = pick(8) == 0 ? pick(600) : pick(20); k > 0; --k) {
      file.push_back(static_cast<char>('A' + pick(26)));
    }
    for (std::size_t k = pick(4); k > 0; --k) {
      file.push_back(static_cast<char>(kSpecial[pick(sizeof kSpecial)]));
    }
  }
  if (pick(3) != 0 && !file.empty()) file[pick(file.size())] = pick(2) == 0 ? '\x1A' : '\0';
  return file;
}

TEST_F(LoadText, GivesThePlainLoopsTextAndMapWhateverTheChunks) {
  std::mt19937 rng(19);
  for (int round = 0; round < 120; ++round) {
    const std::string file = randomFile(&rng);
    const std::string path = writeTempFile(file);
    for (const int chunk : {1, 2, 7, 8, 9, 64, 1 << 20}) {
      loaderTuning.chunk_bytes = chunk;
      for (const int remove_spaces : {0, 1}) {
        const std::string expected = plainText(file, remove_spaces != 0);
        const std::string text = loadFrom(path, remove_spaces);
        ASSERT_EQ(text, expected) << "round " << round << ", chunk " << chunk << ", -c "
                                  << remove_spaces;
        ASSERT_EQ(kindMapOf(text), plainKindMap(expected))
            << "round " << round << ", chunk " << chunk;
      }
    }
  }
}

// The file as the loader's first poll finds it, after its size was taken.
std::string changingPath;
std::string changedBytes;

void changeFileOnFirstPoll() {
  loaderTuning.poll_hook = nullptr;
  std::FILE* file = std::fopen(changingPath.c_str(), "wb");
  std::fwrite(changedBytes.data(), 1, changedBytes.size(), file);
  std::fclose(file);
}

TEST_F(LoadText, FileLongerOrShorterThanItsSizeSaidIsReadWhole) {
  std::string letters;
  for (int i = 0; i < 5000; ++i) letters.push_back(static_cast<char>('a' + i % 23));
  const struct {
    std::string before;
    std::string after;
  } cases[] = {
      {"ABCD", "ABCDEF\r\nGH"},
      {"", "XY"},
      {"AB", letters},
      {"AB", "AB\r\n\r\n\r\n"},
      {"AB", "ABC\x1A" + letters},
      {letters, "ABC"},
      {letters, ""},
      {"AB\nCD", letters + "\r\n" + letters},
  };
  for (const int chunk : {3, 64, 1 << 20}) {
    loaderTuning.chunk_bytes = chunk;
    for (const auto& c : cases) {
      changingPath = writeTempFile(c.before);
      changedBytes = c.after;
      loaderTuning.poll_hook = changeFileOnFirstPoll;
      char* text = loadText(changingPath.c_str());
      ASSERT_NE(text, nullptr);
      EXPECT_EQ(text, plainText(c.after, false)) << "chunk " << chunk << ", " << c.before.size()
                                                 << " bytes before, " << c.after.size() << " after";
      std::free(text);
    }
  }
}

// 1 MB above the memory budget's reserve (64 MB on a machine of 1 GB).
MemoryStatus littleMemoryLeft() { return {true, std::uint64_t{65} << 20, std::uint64_t{1} << 30}; }

TEST_F(LoadText, TextPastTheMemoryBudgetEndsWithTheMemoryMessage) {
  const std::string path = writeTempFile(std::string(2000000, 'a'));
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The block for the text and its terminator is refused.
  EXPECT_EXIT((setMemoryStatusSource(littleMemoryLeft), loadText(path.c_str())),
              testing::ExitedWithCode(1), "^\ncannot get the memory of 2000 K bytes\n$");
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
