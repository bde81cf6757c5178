#include "platform/terminal.h"

#include <signal.h>
#include <unistd.h>

namespace platform {

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

namespace {

// Written before the handler is installed, read only in the signal handler.
void (*volatile g_interrupt_handler)() = nullptr;

void OnInterrupt(int) {
  void (*handler)() = g_interrupt_handler;
  if (handler) handler();
}

}  // namespace

bool SetInterruptHandler(void (*handler)()) {
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  if (handler == nullptr) {
    action.sa_handler = SIG_DFL;
  } else {
    g_interrupt_handler = handler;
    action.sa_handler = OnInterrupt;
    // SA_RESETHAND: a second Ctrl-C ends the process even when a wait that
    // cannot be cancelled (a name lookup) holds up the first.
    action.sa_flags = SA_RESETHAND;
  }
  return sigaction(SIGINT, &action, nullptr) == 0;
}

}  // namespace platform
