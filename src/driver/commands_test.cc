// The command table: every command has its help in --help, and a line that
// starts with no command's letter is an invalid command; r is a command.
#include "driver/commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/help.h"

namespace {

// The line of --help for a form: its synopsis in a column of 13 bytes after
// two blanks, then the first line of its description.
std::string helpLine(const CommandForm& form) {
  std::string synopsis = form.synopsis;
  synopsis.resize(13, ' ');
  const std::string description = form.description;
  return "\n  " + synopsis + description.substr(0, description.find('\n')) + "\n";
}

// True when a synopsis names the letter at the start of one of its words
// ("q, Q" names both).
bool names(const char* synopsis, char letter) {
  for (const char* p = synopsis; *p != '\0'; ++p) {
    if (*p == letter && (p == synopsis || p[-1] == ' ')) return true;
  }
  return false;
}

TEST(Commands, EveryCommandHasItsHelpInTheHelpText) {
  const std::string& help = helpText();
  for (const Command& command : commandTable()) {
    ASSERT_NE(command.forms[0].synopsis, nullptr) << command.letters;
    for (const char* letter = command.letters; *letter != '\0'; ++letter) {
      bool named = false;
      for (const CommandForm& form : command.forms) {
        named = named || (form.synopsis != nullptr && names(form.synopsis, *letter));
      }
      EXPECT_TRUE(named) << "no form names " << *letter;
    }
    for (const CommandForm& form : command.forms) {
      if (form.synopsis == nullptr) continue;
      EXPECT_LE(std::strlen(form.synopsis), 12u) << form.synopsis;
      EXPECT_NE(help.find(helpLine(form)), std::string::npos) << form.synopsis;
    }
  }
}

TEST(Commands, ALineStartingWithNoCommandLetterIsAnInvalidCommandEchoedWhole) {
  SessionLists lists;
  for (int byte = 1; byte < 256; ++byte) {
    const char letter = static_cast<char>(byte);
    bool skip = letter == ' ';  // a blank is passed over before the letter
#if defined(_WIN32)
    // The captured stream is read back in text mode, which ends at a Ctrl-Z.
    skip = skip || letter == '\x1a';
#endif
    for (const Command& command : commandTable()) {
      skip = skip || std::strchr(command.letters, letter) != nullptr;
    }
    if (skip) continue;
    const std::string line = std::string("  ") + letter + " 12";
    testing::internal::CaptureStderr();
    const CommandResult result = runCommand(line, &lists);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "... " + line + ": invalid command\n")
        << byte;
    EXPECT_EQ(result, CommandResult::kContinue) << byte;
  }
}

// r is a command of its own, not a line that the loop echoes as invalid.
TEST(Commands, RIsACommandOfItsOwn) {
  SessionLists lists;
  testing::internal::CaptureStderr();
  const CommandResult result = runCommand("r 0", &lists);
  EXPECT_EQ(testing::internal::GetCapturedStderr().find("invalid command"), std::string::npos);
  EXPECT_EQ(result, CommandResult::kContinue);
}

}  // namespace
