// The console on Windows: its modes, its own line reads, and the wait for
// Enter in a console that is the program's own.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "util/console_platform.h"

namespace {

// 1 when standard error is a terminal: set once by setUpConsole, before the
// Ctrl-C handler is installed, and only read after that.
std::atomic<int> errorIsTerminal = 0;

// An output console whose mode setUpConsole changed, with the mode it had.
struct SavedConsole {
  HANDLE handle = nullptr;
  DWORD mode = 0;
};
SavedConsole savedConsoles[2];

// Turns virtual-terminal processing on for the console behind handle, if it
// is one and lacks it, and records its mode first.
void enableVirtualTerminal(DWORD which, SavedConsole* saved) {
  const HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
    return;
  }
  constexpr DWORD kWanted = ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING;
  // Standard error on the same console as standard output finds it done.
  if ((mode & kWanted) == kWanted) return;
  // A console that refuses gets the sequences as they are.
  if (SetConsoleMode(handle, mode | kWanted)) *saved = {handle, mode};
}

constexpr char kConsoleEndOfInput = 0x1A;  // Ctrl-Z

// The console's own line buffer: ReadFile hands over a whole line or more.
char consoleBytes[4096];
DWORD consoleLength = 0;
DWORD consoleNext = 0;

// True when the console read that just gave no byte was cut short by Ctrl-C.
// The console ends the read as if at end of input, and the handler runs on a
// thread of its own, maybe a little later: give it that time.
bool consoleReadInterrupted(DWORD error, bool (*ctrl_c_pending)()) {
  if (error == ERROR_OPERATION_ABORTED) return true;
  for (int i = 0; i < 20; ++i) {
    if (ctrl_c_pending()) return true;
    Sleep(10);
  }
  return ctrl_c_pending();
}

// True when the console is this program's alone, as after a double click
// (a shell shares its console with the programs it starts), and standard
// input is that console, so that someone can press Enter there.
bool ownConsoleIsInput() {
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return false;
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  return input != nullptr && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode);
}

// The window of a console that is the program's own closes as the program
// ends, taking the last message with it: say why it waits, and wait for a
// line. Runs at exit; a Ctrl-C that ends the program never comes here.
void holdOwnConsole() {
  if (!ownConsoleIsInput()) return;
  std::fflush(stdout);
  static constexpr char kWhy[] = "Press Enter to close this window.\n";
  writeStream(stderr, kWhy, sizeof kWhy - 1);
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  // A console without line input gives the Enter key as a CR.
  char c = 0;
  DWORD got = 0;
  while (ReadFile(input, &c, 1, &got, nullptr) && got == 1 && c != '\n' && c != '\r') {
  }
}

}  // namespace

void setUpConsole() {
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  // A program started without standard input has no descriptor for it (-2).
  if (_fileno(stdin) >= 0) _setmode(_fileno(stdin), _O_BINARY);
  enableVirtualTerminal(STD_OUTPUT_HANDLE, &savedConsoles[0]);
  enableVirtualTerminal(STD_ERROR_HANDLE, &savedConsoles[1]);
  // Functions registered later run first at exit: the wait, and then the
  // console's own mode back.
  std::atexit(restoreConsole);
  std::atexit(holdOwnConsole);
  DWORD mode = 0;
  errorIsTerminal = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) ? 1 : 0;
}

void restoreConsole() {
  for (const SavedConsole& saved : savedConsoles) {
    if (saved.handle != nullptr) SetConsoleMode(saved.handle, saved.mode);
  }
}

// The handler runs on a thread of its own here; the console takes the bytes
// as the C library's text mode would give them.
void endTerminalLine() {
  if (errorIsTerminal == 0) return;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), "\r\n", 2, &written, nullptr);
}

int readInputByte(bool (*ctrl_c_pending)()) {
  if (consoleNext < consoleLength) return static_cast<unsigned char>(consoleBytes[consoleNext++]);
  const int descriptor = _fileno(stdin);
  const auto input =
      descriptor >= 0 ? reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)) : INVALID_HANDLE_VALUE;
  DWORD mode = 0;
  if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) {
    // A file or a pipe; the runtime gives a pipe whose writer has gone as
    // the end of input. Without a descriptor (started with no standard
    // input) the read fails.
    errno = 0;
    const int c = std::getc(stdin);
    if (c != EOF || !std::ferror(stdin)) return c;
    std::clearerr(stdin);
    if (errno == 0) errno = descriptor < 0 ? EBADF : EIO;
    return kInputFailed;
  }
  // A console: read it directly, so that a read cut short by Ctrl-C can be
  // told from the end of input (Ctrl-Z at the start of a line).
  DWORD got = 0;
  SetLastError(ERROR_SUCCESS);
  const BOOL ok = ReadFile(input, consoleBytes, sizeof consoleBytes, &got, nullptr);
  const DWORD error = GetLastError();
  // A line that begins with Ctrl-Z is the console's end of input.
  if (ok && got > 0 && consoleBytes[0] == kConsoleEndOfInput) return EOF;
  if (ok && got > 0) {
    consoleLength = got;
    consoleNext = 1;
    return static_cast<unsigned char>(consoleBytes[0]);
  }
  if (consoleReadInterrupted(error, ctrl_c_pending)) return kInputInterrupted;
  if (ok) return EOF;
  // A read that failed for another reason: the runtime's name for it.
  errno = error == ERROR_INVALID_HANDLE ? EBADF : error == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return kInputFailed;
}

// No signal cuts a write short here: Ctrl-C runs on a thread of its own.
bool writeStream(std::FILE* stream, const char* bytes, std::size_t n) {
  return std::fwrite(bytes, 1, n, stream) == n;
}
