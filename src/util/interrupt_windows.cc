#include <windows.h>

#include <atomic>
#include <csignal>

#include "util/interrupt.h"

namespace {

// Runs on a thread that the system starts for each console event.
BOOL WINAPI consoleControl(DWORD event) {
  // Ctrl-Break and closing the console keep the system's default.
  if (event != CTRL_C_EVENT) return FALSE;
  sigint(SIGINT);
  return TRUE;
}

}  // namespace

void installInterruptHandler() {
  // The handler stays installed across events; it is added once.
  static std::atomic<bool> installed = false;
  if (installed.exchange(true)) return;
  // A parent that started the program in a process group of its own left
  // Ctrl-C ignored; the program takes it as its users do.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(consoleControl, TRUE);
}
