#include <windows.h>

#include "Console.h"

namespace platform {

namespace {

volatile LONG Interrupts = 0;

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // The first one is ours; a second one takes the default action and ends
  // the program.
  return ::InterlockedIncrement(&Interrupts) == 1 ? TRUE : FALSE;
}

}  // namespace

bool StdErrIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void InstallStopOnInterrupt() { ::SetConsoleCtrlHandler(OnControl, TRUE); }

bool InterruptRequested() { return Interrupts != 0; }

}  // namespace platform
