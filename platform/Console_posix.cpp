#include <signal.h>
#include <unistd.h>

#include "Console.h"

namespace platform {

namespace {

volatile sig_atomic_t Interrupted = 0;

void OnInterrupt(int) { Interrupted = 1; }

}  // namespace

bool StdErrIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

void InstallStopOnInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  // The handler runs once; the next SIGINT takes the default action.
  action.sa_flags = SA_RESETHAND;
  ::sigaction(SIGINT, &action, nullptr);
}

bool InterruptRequested() { return Interrupted != 0; }

}  // namespace platform
