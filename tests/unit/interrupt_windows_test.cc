// Ctrl-C and the console on Windows, as the user meets them: the program runs
// as a child process in a process group of its own on this test's console,
// and gets a real console control event. During a scan Ctrl-C stops only that
// scan; at any other moment it ends the program with status 1, keeping what
// standard output already holds and giving the console its own mode back.
//
// The events need a console. Without one (CTest runs the tests on pipes) the
// tests are skipped, unless ELSSCAN_REQUIRE_CONSOLE is set, as it is where
// CTest runs them again in a terminal.
//
// A console that is the program's own (after a double click) waits for Enter
// at the end, but only when standard input is that console.
#if defined(_WIN32)

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "unit/child_process.h"
#include "unit/temp_file.h"

namespace {

constexpr std::chrono::seconds kPatience{60};

// The program's path. A build tree under Wine has Unix paths, which Wine
// shows on drive Z:.
std::string programPath() {
  std::string path = ELSSCAN_BINARY;
  if (path[0] == '/') path = "Z:" + path;
  return path;
}

bool haveConsole() {
  DWORD mode = 0;
  const HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  const bool have = out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  return have;
}

// The program on textPath (no argument if it is empty), in a process group
// of its own, with standard input on a pipe and standard output and error
// both on one pipe, in the order written.
ChildProcess startProgram(const std::string& textPath,
                          ChildProcess::Input input = ChildProcess::Input::kPipe,
                          ChildProcess::Output output = ChildProcess::Output::kOnePipe,
                          ChildProcess::Console console = ChildProcess::Console::kShared) {
  std::vector<std::string> argv{programPath()};
  if (!textPath.empty()) argv.push_back(textPath);
  return ChildProcess(argv, input, output, console);
}

class WindowsCtrlC : public testing::Test {
 protected:
  void SetUp() override {
    if (!haveConsole()) {
      if (std::getenv("ELSSCAN_REQUIRE_CONSOLE") != nullptr) FAIL() << "no console";
      GTEST_SKIP() << "no console to send Ctrl-C through; CTest runs these in a terminal";
    }
  }
};

TEST_F(WindowsCtrlC, AtThePromptEndsWithStatusOneKeepingTheOutput) {
  ChildProcess child = startProgram(writeTempFile("ABCAB"));
  ASSERT_TRUE(child.started());
  child.write("/AB\n");
  ASSERT_TRUE(child.waitForOutput("command: ", 2, kPatience)) << child.out();
  ASSERT_TRUE(child.interrupt());
  EXPECT_EQ(child.wait(kPatience), 1);
  EXPECT_EQ(child.out(),
            "command: searching forward \r\n"
            "(1): skip=1, string=(1,1,2)\r\n"
            "(2): skip=1, string=(4,4,5)\r\n"
            "(3): skip=4, string=(1,3,5)\r\n"
            "searching backward \r\n"
            "(4): skip=-2, string=(2,3,4)\r\n"
            "command: ");
}

TEST_F(WindowsCtrlC, DuringTheForwardScanStopsOnlyThatScan) {
  // "aaab" stands once, at skip 1 from position 1, and never backwards: after
  // "aa" the text alternates "ab". Both letters are common, so that a scan
  // over all skips takes long enough to be interrupted after its first mark.
  std::string text = "aa";
  for (int k = 0; k < 400000; ++k) text += "ab";
  ChildProcess child = startProgram(writeTempFile(text));
  ASSERT_TRUE(child.started());
  child.write("/aaab/a\n");
  ASSERT_TRUE(child.waitForOutput("searching forward *", 1, kPatience)) << child.out();
  ASSERT_TRUE(child.interrupt());
  ASSERT_TRUE(child.waitForOutput("command: ", 2, kPatience)) << child.out();
  // The forward row stops early; the backward scan writes all 30 marks.
  EXPECT_TRUE(std::regex_match(child.out(), std::regex("command: searching forward \\*\\.{0,28}\r\n"
                                                       "\\(1\\): skip=1, string=\\(1,2,4\\)\r\n"
                                                       "searching backward \\.{30}\r\ncommand: ")))
      << child.out();
  child.write("q\n");
  EXPECT_EQ(child.wait(kPatience), 0);
}

// Types a key with its character on the console whose input is given, as the
// user does.
void typeKeyTo(HANDLE input, WORD key_code, char c, DWORD control_keys) {
  INPUT_RECORD keys[2] = {};
  for (int k = 0; k < 2; ++k) {
    keys[k].EventType = KEY_EVENT;
    KEY_EVENT_RECORD& key = keys[k].Event.KeyEvent;
    key.bKeyDown = k == 0;
    key.wRepeatCount = 1;
    key.wVirtualKeyCode = key_code;
    key.wVirtualScanCode = static_cast<WORD>(MapVirtualKeyA(key_code, MAPVK_VK_TO_VSC));
    key.uChar.AsciiChar = c;
    key.dwControlKeyState = control_keys;
  }
  DWORD written = 0;
  WriteConsoleInputA(input, keys, 2, &written);
}

void typeKey(WORD key_code, char c, DWORD control_keys) {
  typeKeyTo(GetStdHandle(STD_INPUT_HANDLE), key_code, c, control_keys);
}

// Ctrl-C: the console ends the read that waits for a line and sends the
// event to every process on it.
void typeCtrlC() { typeKey('C', 3, LEFT_CTRL_PRESSED); }

TEST_F(WindowsCtrlC, TypedAtAConsolePromptIsNeverTakenForEndOfInput) {
  // This test ignores the event; the program takes it, as it always does.
  SetConsoleCtrlHandler(nullptr, TRUE);
  {
    ChildProcess child = startProgram(writeTempFile("ABCAB"), ChildProcess::Input::kInherited);
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.waitForOutput("command: ", 1, kPatience)) << child.out();
    Sleep(200);  // in the console read
    typeCtrlC();
    // End of input would quit with status 0 after a newline.
    EXPECT_EQ(child.wait(kPatience), 1);
    EXPECT_EQ(child.out(), "command: ");
  }
  SetConsoleCtrlHandler(nullptr, FALSE);
}

// The output console's mode, through a handle of this test's own.
DWORD consoleOutputMode() {
  DWORD mode = 0;
  GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
  return mode;
}

// The column of the console's cursor, from 0.
SHORT cursorColumn() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info);
  return info.dwCursorPosition.X;
}

// Starts the program on this console, waits until it has turned
// virtual-terminal processing on, ends it with end, and checks that the
// console has its own mode back. *column: the cursor's column after the end.
template <typename End>
void checkConsoleModeComesBack(const End& end, int expected_status, SHORT* column) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD own = 0;
  ASSERT_TRUE(GetConsoleMode(out, &own));
  own &= ~static_cast<DWORD>(ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  ASSERT_TRUE(SetConsoleMode(out, own));
  {
    ChildProcess child = startProgram(writeTempFile("ABCAB"), ChildProcess::Input::kPipe,
                                      ChildProcess::Output::kInherited);
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.waitFor(
        [] { return (consoleOutputMode() & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0; }, kPatience));
    Sleep(200);  // at the prompt
    end(child);
    EXPECT_EQ(child.wait(kPatience), expected_status);
  }
  EXPECT_EQ(consoleOutputMode(), own);
  *column = cursorColumn();
}

// Ctrl-C also ends the line that the prompt left, which q does not.
TEST_F(WindowsCtrlC, ConsoleModeComesBackAfterQuitAndAfterCtrlC) {
  SHORT column = -1;
  checkConsoleModeComesBack([](ChildProcess& child) { child.write("q\n"); }, 0, &column);
  EXPECT_NE(column, 0);
  checkConsoleModeComesBack([](ChildProcess& child) { ASSERT_TRUE(child.interrupt()); }, 1,
                            &column);
  EXPECT_EQ(column, 0);
}

constexpr char kPressEnter[] = "Press Enter to close this window.\r\n";

// A double click with no file name: the program's console is its own, but
// with standard input a pipe it ends at once, as a script needs. Runs
// without a console of the test's own.
TEST(WindowsDoubleClick, NeverWaitsWhenStandardInputIsAPipe) {
  ChildProcess child = startProgram("", ChildProcess::Input::kPipe, ChildProcess::Output::kOnePipe,
                                    ChildProcess::Console::kOwn);
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.wait(kPatience), 1);
  EXPECT_EQ(child.out(), "Usage: elsScan [-c] <text_file>\r\n");
}

// Started from a shell, the program shares the shell's console: typed q ends
// it at once.
TEST(WindowsOwnConsole, NeverWaitsOnAConsoleItShares) {
  if (!haveConsole()) {
    if (std::getenv("ELSSCAN_REQUIRE_CONSOLE") != nullptr) FAIL() << "no console";
    GTEST_SKIP() << "no console to share with the program; CTest runs this in a terminal";
  }
  ChildProcess child = startProgram(writeTempFile("ABCAB"), ChildProcess::Input::kInherited);
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(child.waitForOutput("command: ", 1, kPatience)) << child.out();
  Sleep(200);  // in the console read
  typeKey('Q', 'q', 0);
  typeKey(VK_RETURN, '\r', 0);
  EXPECT_EQ(child.wait(kPatience), 0);
  EXPECT_EQ(child.out(), "command: ");
}

// The program on this console, with standard input the console; once this
// test has left the console, the console is the program's alone, as after a
// double click. CTest runs it in a terminal of its own, since the test
// cannot come back to its console.
TEST(WindowsOwnConsole, WaitsForEnterBeforeItsWindowCloses) {
  if (!haveConsole()) {
    if (std::getenv("ELSSCAN_REQUIRE_CONSOLE") != nullptr) FAIL() << "no console";
    GTEST_SKIP() << "no console to leave to the program; CTest runs this in a terminal";
  }
  // Typing goes on through this handle after the test has left the console.
  const HANDLE input =
      CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(input, INVALID_HANDLE_VALUE);
  ChildProcess child = startProgram(writeTempFile("ABCAB"), ChildProcess::Input::kInherited);
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(child.waitForOutput("command: ", 1, kPatience)) << child.out();
  ASSERT_TRUE(FreeConsole());
  typeKeyTo(input, 'Q', 'q', 0);
  typeKeyTo(input, VK_RETURN, '\r', 0);
  ASSERT_TRUE(child.waitForOutput(kPressEnter, 1, kPatience)) << child.out();
  Sleep(300);
  EXPECT_EQ(WaitForSingleObject(child.process(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  typeKeyTo(input, VK_RETURN, '\r', 0);
  EXPECT_EQ(child.wait(kPatience), 0);
  EXPECT_EQ(child.out(), std::string("command: ") + kPressEnter);
  CloseHandle(input);
}

}  // namespace

#endif  // _WIN32
