// The command table: every command has its help in --help, and a line that
// starts with no command's letter is an invalid command; r is a command.
#include "driver/commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/help.h"

namespace {

// The lines of --help that list the commands: those after "Commands:" up to
// the first empty line.
std::vector<std::string> commandHelpLines() {
  const std::string& help = helpText();
  std::vector<std::string> lines;
  std::size_t at = help.find("\nCommands:\n");
  if (at == std::string::npos) return lines;
  at += std::strlen("\nCommands:\n");
  for (std::size_t end; (end = help.find('\n', at)) != std::string::npos && end > at;
       at = end + 1) {
    lines.push_back(help.substr(at, end - at));
  }
  return lines;
}

// The lines of a form's description, as its help shows them.
std::vector<std::string> descriptionLines(const CommandForm& form) {
  std::vector<std::string> lines;
  const std::string description = form.description;
  std::size_t at = 0;
  for (std::size_t end; (end = description.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(description.substr(at, end - at));
  }
  lines.push_back(description.substr(at));
  return lines;
}

// True when a synopsis names the letter at the start of one of its words
// ("q, Q" names both).
bool names(const char* synopsis, char letter) {
  for (const char* p = synopsis; *p != '\0'; ++p) {
    if (*p == letter && (p == synopsis || p[-1] == ' ')) return true;
  }
  return false;
}

TEST(Commands, EveryFormNamesItsLetters) {
  for (const Command& command : commandTable()) {
    ASSERT_NE(command.forms[0].synopsis, nullptr) << command.letters;
    for (const char* letter = command.letters; *letter != '\0'; ++letter) {
      bool named = false;
      for (const CommandForm& form : command.forms) {
        named = named || (form.synopsis != nullptr && names(form.synopsis, *letter));
      }
      EXPECT_TRUE(named) << "no form names " << *letter;
    }
  }
}

// What a reader of --help sees: every form's synopsis at the start of a line
// (after two blanks), its description beside it, and every line of every
// description starting in one column, the same for all commands.
TEST(Commands, EveryFormHasItsSynopsisAndDescriptionInOneColumnOfTheHelp) {
  const std::vector<std::string> lines = commandHelpLines();
  ASSERT_FALSE(lines.empty());
  std::size_t column = 0;  // where the first description starts
  for (const Command& command : commandTable()) {
    for (const CommandForm& form : command.forms) {
      if (form.synopsis == nullptr) continue;
      const std::string start = std::string("  ") + form.synopsis + " ";
      const std::vector<std::string> description = descriptionLines(form);
      // The line that holds the synopsis, blanks, and the description's first line.
      std::size_t row = 0;
      std::size_t at = std::string::npos;
      for (; row < lines.size(); ++row) {
        if (lines[row].compare(0, start.size(), start) != 0) continue;
        at = lines[row].find_first_not_of(' ', start.size());
        if (at != std::string::npos && lines[row].substr(at) == description[0]) break;
      }
      ASSERT_LT(row, lines.size()) << "no line holds " << form.synopsis << " and its description";
      if (column == 0) column = at;
      EXPECT_EQ(at, column) << lines[row];
      for (std::size_t k = 0; k < description.size(); ++k) {
        ASSERT_LT(row + k, lines.size()) << form.synopsis;
        EXPECT_EQ(
            lines[row + k],
            (k == 0 ? lines[row].substr(0, column) : std::string(column, ' ')) + description[k])
            << form.synopsis;
      }
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
