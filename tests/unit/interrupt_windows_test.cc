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
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <string_view>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kPatience{60};

// The program's path. A build tree under Wine has Unix paths, which Wine
// shows on drive Z:.
std::string programPath() {
  std::string path = ELSSCAN_BINARY;
  if (path[0] == '/') path = "Z:" + path;
  return path;
}

std::string writeText(const std::string& name, const std::string& bytes) {
  const std::string path = testing::TempDir() + std::to_string(GetCurrentProcessId()) + "_" + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
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

// The program with standard input on a pipe and, unless the console is to
// show them, standard output and standard error both on one pipe, in the
// order written.
class Child {
 public:
  // input_from_console: standard input is this test's console instead of a
  // pipe. own_console: the program gets a new console of its own, as after
  // a double click. An empty text_path gives the program no argument.
  Child(const std::string& text_path, bool output_to_console, bool input_from_console = false,
        bool own_console = false) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE in_read = nullptr;
    HANDLE out_write = nullptr;
    if (!CreatePipe(&in_read, &input_, &inherit, 0)) return;
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input_from_console ? GetStdHandle(STD_INPUT_HANDLE) : in_read;
    if (output_to_console) {
      startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
      startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    } else {
      if (!CreatePipe(&output_, &out_write, &inherit, 0)) return;
      SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
      startup.hStdOutput = out_write;
      startup.hStdError = out_write;
    }
    std::string command = "\"" + programPath() + "\"";
    if (!text_path.empty()) command += " \"" + text_path + "\"";
    const DWORD flags = CREATE_NEW_PROCESS_GROUP | (own_console ? CREATE_NEW_CONSOLE : 0);
    PROCESS_INFORMATION info{};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                       &startup, &info)) {
      process_ = info.hProcess;
      id_ = info.dwProcessId;
      CloseHandle(info.hThread);
    }
    CloseHandle(in_read);
    if (out_write != nullptr) CloseHandle(out_write);
  }

  ~Child() {
    if (process_ != nullptr) {
      if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
      CloseHandle(process_);
    }
    for (HANDLE pipe : {input_, output_}) {
      if (pipe != nullptr) CloseHandle(pipe);
    }
  }

  bool started() const { return process_ != nullptr; }
  HANDLE process() const { return process_; }
  const std::string& output() const { return output_text_; }

  void write(std::string_view bytes) {
    DWORD written = 0;
    WriteFile(input_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }

  // A console Ctrl-C, to the child's process group alone.
  bool ctrlC() { return GenerateConsoleCtrlEvent(CTRL_C_EVENT, id_) != 0; }

  // Collects output until done() holds or the patience runs out.
  template <typename Done>
  bool waitFor(const Done& done) {
    const Clock::time_point deadline = Clock::now() + kPatience;
    while (!done()) {
      DWORD available = 0;
      if (output_ != nullptr && PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr) &&
          available > 0) {
        char buffer[65536];
        DWORD got = 0;
        if (ReadFile(output_, buffer, sizeof buffer, &got, nullptr))
          output_text_.append(buffer, got);
        continue;
      }
      if (Clock::now() >= deadline) return false;
      Sleep(5);
    }
    return true;
  }

  bool waitForText(std::string_view text, int count) {
    return waitFor([&] { return occurrences(text) >= count; });
  }

  // Waits for the end and returns the exit status, or -1 on timeout.
  int wait() {
    const Clock::time_point deadline = Clock::now() + kPatience;
    while (WaitForSingleObject(process_, 5) == WAIT_TIMEOUT) {
      if (Clock::now() >= deadline) return -1;
    }
    // What it wrote last: the pipe ends once no process holds its other end.
    char buffer[65536];
    DWORD got = 0;
    while (output_ != nullptr && ReadFile(output_, buffer, sizeof buffer, &got, nullptr) &&
           got > 0) {
      output_text_.append(buffer, got);
    }
    DWORD status = 0;
    GetExitCodeProcess(process_, &status);
    return static_cast<int>(status);
  }

  int occurrences(std::string_view text) const {
    int count = 0;
    for (std::size_t at = output_text_.find(text); at != std::string::npos;
         at = output_text_.find(text, at + text.size())) {
      ++count;
    }
    return count;
  }

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
  HANDLE input_ = nullptr;
  HANDLE output_ = nullptr;
  std::string output_text_;
};

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
  Child child(writeText("ctrl_c_prompt.txt", "ABCAB"), false);
  ASSERT_TRUE(child.started());
  child.write("/AB\n");
  ASSERT_TRUE(child.waitForText("command: ", 2)) << child.output();
  ASSERT_TRUE(child.ctrlC());
  EXPECT_EQ(child.wait(), 1);
  EXPECT_EQ(child.output(),
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
  Child child(writeText("ctrl_c_scan.txt", text), false);
  ASSERT_TRUE(child.started());
  child.write("/aaab/a\n");
  ASSERT_TRUE(child.waitForText("searching forward *", 1)) << child.output();
  ASSERT_TRUE(child.ctrlC());
  ASSERT_TRUE(child.waitForText("command: ", 2)) << child.output();
  // The forward row stops early; the backward scan writes all 30 marks.
  EXPECT_TRUE(
      std::regex_match(child.output(), std::regex("command: searching forward \\*\\.{0,28}\r\n"
                                                  "\\(1\\): skip=1, string=\\(1,2,4\\)\r\n"
                                                  "searching backward \\.{30}\r\ncommand: ")))
      << child.output();
  child.write("q\n");
  EXPECT_EQ(child.wait(), 0);
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
    Child child(writeText("ctrl_c_console.txt", "ABCAB"), false, true);
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.waitForText("command: ", 1)) << child.output();
    Sleep(200);  // in the console read
    typeCtrlC();
    // End of input would quit with status 0 after a newline.
    EXPECT_EQ(child.wait(), 1);
    EXPECT_EQ(child.output(), "command: ");
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
    Child child(writeText("console_mode.txt", "ABCAB"), true);
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.waitFor(
        [] { return (consoleOutputMode() & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0; }));
    Sleep(200);  // at the prompt
    end(child);
    EXPECT_EQ(child.wait(), expected_status);
  }
  EXPECT_EQ(consoleOutputMode(), own);
  *column = cursorColumn();
}

// Ctrl-C also ends the line that the prompt left, which q does not.
TEST_F(WindowsCtrlC, ConsoleModeComesBackAfterQuitAndAfterCtrlC) {
  SHORT column = -1;
  checkConsoleModeComesBack([](Child& child) { child.write("q\n"); }, 0, &column);
  EXPECT_NE(column, 0);
  checkConsoleModeComesBack([](Child& child) { ASSERT_TRUE(child.ctrlC()); }, 1, &column);
  EXPECT_EQ(column, 0);
}

constexpr char kPressEnter[] = "Press Enter to close this window.\r\n";

// A double click with no file name: the program's console is its own, but
// with standard input a pipe it ends at once, as a script needs. Runs
// without a console of the test's own.
TEST(WindowsDoubleClick, NeverWaitsWhenStandardInputIsAPipe) {
  Child child("", false, false, true);
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.wait(), 1);
  EXPECT_EQ(child.output(), "Usage: elsScan [-c] <text_file>\r\n");
}

// Started from a shell, the program shares the shell's console: typed q ends
// it at once.
TEST(WindowsOwnConsole, NeverWaitsOnAConsoleItShares) {
  if (!haveConsole()) {
    if (std::getenv("ELSSCAN_REQUIRE_CONSOLE") != nullptr) FAIL() << "no console";
    GTEST_SKIP() << "no console to share with the program; CTest runs this in a terminal";
  }
  Child child(writeText("shared_console.txt", "ABCAB"), false, true);
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(child.waitForText("command: ", 1)) << child.output();
  Sleep(200);  // in the console read
  typeKey('Q', 'q', 0);
  typeKey(VK_RETURN, '\r', 0);
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(child.output(), "command: ");
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
  Child child(writeText("own_console.txt", "ABCAB"), false, true);
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(child.waitForText("command: ", 1)) << child.output();
  ASSERT_TRUE(FreeConsole());
  typeKeyTo(input, 'Q', 'q', 0);
  typeKeyTo(input, VK_RETURN, '\r', 0);
  ASSERT_TRUE(child.waitForText(kPressEnter, 1)) << child.output();
  Sleep(300);
  EXPECT_EQ(WaitForSingleObject(child.process(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  typeKeyTo(input, VK_RETURN, '\r', 0);
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(child.output(), std::string("command: ") + kPressEnter);
  CloseHandle(input);
}

}  // namespace

#endif  // _WIN32
