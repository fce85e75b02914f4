#include "util/message.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

namespace {

std::string edit(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = err_edit(format, args);
  va_end(args);
  return text;
}

std::string written(void (*write)()) {
  testing::internal::CaptureStderr();
  write();
  return testing::internal::GetCapturedStderr();
}

TEST(ErrEdit, ConvertsTheFiveConversions) {
  EXPECT_EQ(edit("%c|%d|%x|%f|%s", 'A', -5, 255, 1.5, "str"), "A|-5|ff|1.500000|str");
  EXPECT_EQ(edit("... %d: invalid number\n", -5), "... -5: invalid number\n");
}

TEST(ErrEdit, PassesOtherPercentPairsThroughWithoutTakingArguments) {
  EXPECT_EQ(edit("%%|%5d|%i|%d", 7), "%%|%5d|%i|7");
  EXPECT_EQ(edit("12.50%\n"), "12.50%\n");
  EXPECT_EQ(edit("100%"), "100%");  // a lone '%' at the end stays
}

TEST(ErrEdit, BackslashCopiesTheNextByteUnread) {
  EXPECT_EQ(edit("a\\%d%s", "x"), "a%dx");
  EXPECT_EQ(edit("\\\\%s", "x"), "\\x");
  EXPECT_EQ(edit("%send\\", "x"), "xend\\");  // a final backslash is copied
}

TEST(ErrEdit, StringArgumentsAreCopiedUnread) {
  EXPECT_EQ(edit("[%s]", "50% \\n \x82\xA0"), "[50% \\n \x82\xA0]");
}

TEST(ErrEdit, ExpansionHasNoLengthBound) {
  const std::string long_arg(100000, 'x');
  EXPECT_EQ(edit("... %s: invalid command\n", long_arg.c_str()),
            "... " + long_arg + ": invalid command\n");
}

TEST(Errmsg, FormatWithoutPercentIsWrittenUnchanged) {
  EXPECT_EQ(written([] { errmsg("command: "); }), "command: ");
  EXPECT_EQ(written([] { errmsg("a\\b\n"); }), "a\\b\n");
}

TEST(Errmsg, CharacterZeroEndsTheWrittenMessage) {
  EXPECT_EQ(written([] { errmsg("ab%ccd", 0); }), "ab");
}

TEST(Errmsg, PercentHiddenAsTrailByteNeedsNoExpansion) {
  // 0x81 is a lead byte, so the '%' after it is its trail byte.
  EXPECT_EQ(written([] { errmsgLine("\x81%d\\n"); }), "\x81%d\\n");
  // Another '%' starts the expansion, which then reads every '%'.
  EXPECT_EQ(written([] { errmsgLine("\x81%%d", 1); }), "\x81%%d");
}

TEST(Errmsg, EscapeSequencePassesThroughString) {
  EXPECT_EQ(written([] { errmsg("%s", "\x1b[7m"); }), "\x1b[7m");
}

TEST(Errmsg, SelectorAllBitsSetWritesToStandardOutput) {
  errfp = kErrfpStdout;
  testing::internal::CaptureStdout();
  errmsg("%d\n", 42);
  const std::string out = testing::internal::GetCapturedStdout();
  errfp = nullptr;
  EXPECT_EQ(out, "42\n");
}

// Standard output's own buffer keeps every byte in order, whether a line
// fits what is left of it, only a fresh buffer, or no buffer at all.
TEST(Outputf, KeepsLinesOfEveryLengthInOrder) {
  const std::string half(40000, 'h');
  const std::string huge(100000, 'x');
  testing::internal::CaptureStdout();
  outputf("%d:", 1);
  outputf("%s\n", half.c_str());
  outputf("%s\n", half.c_str());
  outputf("%s\n", huge.c_str());
  outputByte('!');
  flushOutput();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "1:" + half + "\n" + half + "\n" + huge + "\n!");
}

TEST(Strchr, FindsSingleBytesAndLeadBytesButNeverTrailBytes) {
  const char text[] =
      "a%\x81%\x82"
      "b";
  EXPECT_EQ(Strchr(text, '%'), text + 1);
  EXPECT_EQ(Strchr(text, 0x81), text + 2);
  EXPECT_EQ(Strchr(text, 'b'), nullptr);  // trail byte of 0x82
  EXPECT_EQ(Strchr("\x81%", '%'), nullptr);
  EXPECT_EQ(Strchr("", '%'), nullptr);
  EXPECT_EQ(Strchr("abc", 0), nullptr);
  EXPECT_EQ(Strchr("ab\x81", 'x'), nullptr);  // lead byte last: stops at the end
  const char plain[] = "xy";
  EXPECT_EQ(Strchr(plain, 0x100 + 'y'), plain + 1);  // only the low 8 bits count
}

}  // namespace
