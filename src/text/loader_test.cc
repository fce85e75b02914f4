#include "text/loader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/main_info.h"
#include "text/line_map.h"
#include "text/text_filter.h"
#include "unit/temp_file.h"
#include "util/memory.h"
#include "util/message.h"
#include "util/platform.h"
#include "util/scoped_tuning.h"

namespace {

// How a test loads a file: -c, --letters, --labels.
struct Options {
  bool remove_spaces = false;
  bool letters = false;
  bool labels = false;
};

bool isBlankOrCr(unsigned char b) { return b == ' ' || b == '\t' || b == '\r'; }

// The text of a file, and the file offset of each of its bytes.
struct PlainText {
  std::string text;
  std::vector<std::size_t> offsets;

  void keep(char byte, std::size_t offset) {
    text.push_back(byte);
    offsets.push_back(offset);
  }
};

// The letters of a file as --letters keeps them, a byte at a time.
void appendLetter(const std::string& file, std::size_t* i, PlainText* out) {
  const auto b = static_cast<unsigned char>(file[*i]);
  if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
    out->keep(static_cast<char>(b >= 'a' ? b - 'a' + 'A' : b), *i);
  } else if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
    const auto trail = *i + 1 < file.size() ? static_cast<unsigned char>(file[*i + 1]) : 0;
    if (trail < 0x40 || trail > 0xFC || trail == 0x7F) return;
    if (b != 0x81) {
      out->keep(file[*i], *i);
      out->keep(file[*i + 1], *i + 1);
    }
    ++*i;
  } else if (b >= 0xA6 && b <= 0xDF) {
    out->keep(file[*i], *i);
  }
}

// The text as a plain loop over the file's bytes makes it: what the loader
// must give whatever its chunks and runs.
PlainText plainTextAndOffsets(const std::string& file, Options options) {
  enum class Part { kLabel, kGap, kText };
  const Part line_start = options.labels ? Part::kLabel : Part::kText;
  Part part = line_start;
  PlainText text;
  for (std::size_t i = 0; i < file.size(); ++i) {
    const auto byte = static_cast<unsigned char>(file[i]);
    if (byte == 0x1A || byte == '\0') break;
    if (byte == '\n') {
      part = line_start;
      continue;
    }
    if (part == Part::kLabel && !isBlankOrCr(byte)) continue;
    if (part != Part::kText && isBlankOrCr(byte)) {
      part = Part::kGap;
      continue;
    }
    part = Part::kText;
    if (byte == '\r') continue;
    if (options.letters) {
      appendLetter(file, &i, &text);
    } else if (!options.remove_spaces || byte > 0x20) {
      text.keep(file[i], i);
    }
  }
  return text;
}

std::string plainText(const std::string& file, Options options) {
  return plainTextAndOffsets(file, options).text;
}

std::string plainText(const std::string& file, bool remove_spaces) {
  return plainText(file, Options{remove_spaces, false, false});
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
    lettersOnly = 0;
    lineLabels = 0;
  }

  // Loads a file holding bytes; "<null>" when loadText refused it.
  std::string load(const std::string& bytes, int remove_spaces = 0) {
    return loadFrom(writeTempFile(bytes), remove_spaces);
  }

  std::string loadFrom(const std::string& path, int remove_spaces) {
    return loadFrom(path, Options{remove_spaces != 0, false, false});
  }

  std::string loadFrom(const std::string& path, Options options) {
    useOptions(options);
    char* text = loadText(path.c_str());
    if (text == nullptr) return "<null>";
    std::string result = text;
    std::free(text);
    return result;
  }

  static void useOptions(Options options) {
    removeSpaces = options.remove_spaces ? 1 : 0;
    lettersOnly = options.letters ? 1 : 0;
    lineLabels = options.labels ? 1 : 0;
  }

  // Each test's chunk size and hook go with it.
  ScopedTuning<LoaderTuning> tuning_{&loaderTuning};
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
                                           0x80, 0x81, 0x9F, 0xA0, 0xDF, 0xE0, 0xFC, 0xFD, 0xFF,
                                           0x40, 0x7E, 0xA5, 0xA6, '@',  '[',  '`',  '{',  'z'};
  const auto pick = [rng](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(*rng);
  };
  std::string file;
  const std::size_t length = pick(1000);
  while (file.size() < length) {
    // Mostly short runs; now and then one long enough to move as a block.
    for (std::size_t k = pick(8) == 0 ? pick(600) : pick(20); k > 0; --k) {
      file.push_back(static_cast<char>((pick(4) == 0 ? 'a' : 'A') + pick(26)));
    }
    for (std::size_t k = pick(4); k > 0; --k) {
      file.push_back(static_cast<char>(kSpecial[pick(sizeof kSpecial)]));
    }
    // Now and then a byte of any value but those that end the text.
    if (pick(2) == 0) {
      const auto byte = static_cast<unsigned char>(pick(256));
      if (byte != 0 && byte != 0x1A) file.push_back(static_cast<char>(byte));
    }
  }
  if (pick(3) != 0 && !file.empty()) file[pick(file.size())] = pick(2) == 0 ? '\x1A' : '\0';
  return file;
}

const Options kOptions[] = {{false, false, false}, {true, false, false}, {true, true, false},
                            {false, false, true},  {true, false, true},  {true, true, true}};

TEST_F(LoadText, GivesThePlainLoopsTextAndMapWhateverTheChunksAndOptions) {
  std::mt19937 rng(19);
  for (int round = 0; round < 120; ++round) {
    const std::string file = randomFile(&rng);
    const std::string path = writeTempFile(file);
    for (const int chunk : {1, 2, 7, 8, 9, 64, 1 << 20}) {
      loaderTuning.chunk_bytes = chunk;
      for (const Options& options : kOptions) {
        const std::string expected = plainText(file, options);
        const std::string text = loadFrom(path, options);
        ASSERT_EQ(text, expected) << "round " << round << ", chunk " << chunk << ", -c "
                                  << options.remove_spaces << ", letters " << options.letters
                                  << ", labels " << options.labels;
        ASSERT_EQ(kindMapOf(text), plainKindMap(expected))
            << "round " << round << ", chunk " << chunk;
      }
    }
  }
}

TEST_F(LoadText, LettersAreWhatTrMakesOfAnAsciiText) {
  // tr -cd 'A-Za-z' | tr a-z A-Z
  EXPECT_EQ(loadFrom(writeTempFile("In the beginning, God created\r\nthe heaven: 1:1!\n"),
                     Options{true, true, false}),
            "INTHEBEGINNINGGODCREATEDTHEHEAVEN");
  // Shift-JIS: a kanji pair kept, the full-width space and a comma (lead
  // 0x81) dropped, half-width katakana kept, its punctuation (0xA1) dropped.
  EXPECT_EQ(loadFrom(writeTempFile("\x90\x5F\x81\x40"
                                   "a\x81\x41\xB1\xA1\x82\xA0"),
                     Options{true, true, false}),
            "\x90\x5F"
            "A\xB1\x82\xA0");
}

TEST_F(LoadText, LabelsAndTheBlanksAfterThemAreNotText) {
  const std::string verses =
      "Gen1:1 In the beginning God created the heaven and the earth.\r\n"
      "Gen1:2\t \tAnd the earth was without form\n"
      "Gen1:3\n"
      "\n"
      " and void\n";
  EXPECT_EQ(loadFrom(writeTempFile(verses), Options{true, true, true}),
            "INTHEBEGINNINGGODCREATEDTHEHEAVENANDTHEEARTHANDTHEEARTHWASWITHOUTFORMANDVOID");
  EXPECT_EQ(loadFrom(writeTempFile(verses), Options{false, false, true}),
            "In the beginning God created the heaven and the earth.And the earth was without "
            "formand void");
}

// Where the byte at offset stands, worked out from the file alone.
FilePlace placeOf(const std::string& file, std::size_t offset, bool labels) {
  FilePlace place;
  std::size_t line_start = 0;
  place.line = 1;
  for (std::size_t i = 0; i < offset; ++i) {
    if (file[i] == '\n') {
      ++place.line;
      line_start = i + 1;
    }
  }
  place.column = static_cast<std::int64_t>(offset - line_start) + 1;
  if (labels)
    place.label = file.substr(
        line_start, file.find_first_of(std::string(" \t\r\n\x1A\0", 6), line_start) - line_start);
  return place;
}

TEST_F(LoadText, FindInFileTellsTheLineColumnAndLabelOfEveryTextByte) {
  std::mt19937 rng(23);
  for (int round = 0; round < 25; ++round) {
    const std::string file = randomFile(&rng);
    const std::string path = writeTempFile(file);
    for (const int chunk : {1, 2, 7, 64, 1 << 20}) {
      loaderTuning.chunk_bytes = chunk;
      for (const Options& options : kOptions) {
        const PlainText expected = plainTextAndOffsets(file, options);
        if (expected.text.empty()) continue;
        const std::string text = loadFrom(path, options);
        setTextFile(path.c_str());
        const auto length = static_cast<int>(text.size());
        for (int probe = 0; probe < 8; ++probe) {
          const int index = std::uniform_int_distribution<int>(0, length - 1)(rng);
          FilePlace place;
          ASSERT_TRUE(findInFile(text.c_str(), length, index, &place));
          const FilePlace want =
              placeOf(file, expected.offsets[static_cast<std::size_t>(index)], options.labels);
          ASSERT_EQ(std::make_tuple(place.line, place.column, place.label),
                    std::make_tuple(want.line, want.column, want.label))
              << "round " << round << ", chunk " << chunk << ", index " << index << ", -c "
              << options.remove_spaces << ", letters " << options.letters << ", labels "
              << options.labels;
        }
      }
    }
  }
}

TEST_F(LoadText, FindInFileSaysWhenTheFileChangedOrWentAway) {
  const std::string path = writeTempFile("AB\nCD\n");
  const std::string text = loadFrom(path, Options{});
  setTextFile(path.c_str());
  FilePlace place;
  ASSERT_TRUE(findInFile(text.c_str(), 4, 3, &place));
  EXPECT_EQ(place.line, 2);
  EXPECT_EQ(place.column, 2);
  testing::internal::CaptureStderr();
  // The same size, another letter; then gone.
  writeTempFile("AB\nCE\n");
  EXPECT_FALSE(findInFile(text.c_str(), 4, 3, &place));
  std::remove(path.c_str());
  EXPECT_FALSE(findInFile(text.c_str(), 4, 3, &place));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "... " + path + ": changed since it was loaded\n... " + path + ": not found\n");
  // Changed before the first look: another letter, a shorter or a longer
  // text, the same text with more data after a 0x1A; or gone.
  for (const char* changed : {"AB\nCE\n", "AB\nC", "AB\nCDE", "AB\nCD\n\x1A"}) {
    for (const bool mapped_first : {false, true}) {
      writeTempFile("AB\nCD\n");
      setTextFile(path.c_str());
      if (mapped_first) {
        ASSERT_TRUE(findInFile(text.c_str(), 4, 0, &place));
      }
      writeTempFile(changed);
      testing::internal::CaptureStderr();
      const bool found = findInFile(text.c_str(), 4, 3, &place);
      const std::string err = testing::internal::GetCapturedStderr();
      // More data after the end of the text changes nothing before the
      // first look.
      if (!mapped_first && std::string(changed).back() == '\x1A') {
        EXPECT_TRUE(found);
        continue;
      }
      EXPECT_FALSE(found) << changed << ", mapped first " << mapped_first;
      EXPECT_EQ(err, "... " + path + ": changed since it was loaded\n") << changed;
    }
  }
  setTextFile("no/such/file");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(findInFile(text.c_str(), 4, 3, &place));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "... no/such/file: not found\n");
}

TEST(FoldLetters, FoldsAsciiLettersAndLeavesShiftJisCharactersWhole) {
  // The trail byte 0x61 of the hiragana 0x82 0x61 is no "a".
  char s[] =
      "Moses\x82\x61"
      "b\x81\x40z1\x82";
  foldLetters(s);
  EXPECT_STREQ(s,
               "MOSES\x82\x61"
               "B\x81\x40Z1\x82");
}

TEST_F(LoadText, FindInFileOfVeryManyShortLinesKeepsLittle) {
  // Three million empty lines: the map keeps a few bytes a chunk, not a
  // number a line.
  const std::string path = writeTempFile(std::string(3000000, '\n') + "A\r\nB");
  const std::string text = loadFrom(path, Options{});
  setTextFile(path.c_str());
  FilePlace place;
  ASSERT_TRUE(findInFile(text.c_str(), 2, 1, &place));
  EXPECT_EQ(place.line, 3000002);
  EXPECT_EQ(place.column, 1);
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
  // A block of a chunk and its terminator is more than the budget allows.
  EXPECT_EXIT((setMemoryStatusSource(littleMemoryLeft), loadText(path.c_str())),
              testing::ExitedWithCode(1), "^\ncannot get the memory of 1048 K bytes\n$");
  // A smaller chunk starts in what is left and grows past it. (The regular
  // expressions of Windows builds have no brackets.)
  loaderTuning.chunk_bytes = 1 << 16;
  EXPECT_EXIT((setMemoryStatusSource(littleMemoryLeft), loadText(path.c_str())),
              testing::ExitedWithCode(1), "^cannot get the memory of .+ K bytes\n$");
}

bool resizeFile(const std::string& path, std::uint64_t size) {
  std::error_code error;
  std::filesystem::resize_file(path, size, error);
  return !error;
}

// 512 MB above the reserve of a 1 GB group.
MemoryStatus halfOfAGroupLeft() { return {true, std::uint64_t{576} << 20, std::uint64_t{1} << 30}; }

TEST_F(LoadText, LargeFileWhoseTextIsSmallLoadsInLittleMemory) {
  // Sparse files: 3 GB of "hello world", 0x1A and zeros, and 640 MB whose
  // text ends at its second byte, as UTF-16 does.
  const struct {
    std::string head;
    std::uint64_t size;
    const char* text;
  } cases[] = {{"hello world\x1A", std::uint64_t{3} << 30, "hello world"},
               {std::string("A\0B\0", 4), std::uint64_t{640} << 20, "A"}};
  for (const auto& c : cases) {
    const std::string path = writeTempFile(c.head);
    if (!resizeFile(path, c.size)) GTEST_SKIP() << "no sparse file of " << c.size << " bytes";
    setMemoryStatusSource(halfOfAGroupLeft);
    char* text = loadText(path.c_str());
    setMemoryStatusSource(nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, c.text);
    std::free(text);
    std::remove(path.c_str());
  }
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
