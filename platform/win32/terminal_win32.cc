#include "platform/terminal.h"

#include <windows.h>

#include <atomic>

namespace platform {

bool StandardErrorIsTerminal() {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr &&
         GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode) != 0;
}

namespace {

std::atomic<void (*)()> g_interrupt_handler{nullptr};
std::atomic<bool> g_interrupt_seen{false};

// Runs on a thread the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  void (*handler)() = g_interrupt_handler.load();
  // The second press falls through to the default handler, which ends the process.
  if (handler == nullptr || g_interrupt_seen.exchange(true)) return FALSE;
  handler();
  return TRUE;
}

}  // namespace

bool SetInterruptHandler(void (*handler)()) {
  static bool installed = false;
  g_interrupt_handler = handler;
  g_interrupt_seen = false;
  if (handler == nullptr || installed) return true;
  installed = SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
  return installed;
}

}  // namespace platform
