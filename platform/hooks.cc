#include "platform/hooks.h"

#include <mutex>
#include <utility>

namespace platform {

namespace {

std::mutex g_hook_mutex;
MessageBoxHook g_message_box_hook;
LibraryHook g_library_hook;
ShellOpenHook g_shell_open_hook;
ProcessStartHook g_process_start_hook;
ShellStartHook g_shell_start_hook;

// Callers run a copy, so a hook may be replaced while another thread uses one.
template <typename Hook>
Hook Copy(const Hook& hook) {
  std::lock_guard<std::mutex> lock(g_hook_mutex);
  return hook;
}

template <typename Hook>
void Replace(Hook* slot, Hook hook) {
  std::lock_guard<std::mutex> lock(g_hook_mutex);
  *slot = std::move(hook);
}

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { Replace(&g_message_box_hook, std::move(hook)); }
void SetLibraryHook(LibraryHook hook) { Replace(&g_library_hook, std::move(hook)); }
void SetShellOpenHook(ShellOpenHook hook) { Replace(&g_shell_open_hook, std::move(hook)); }
void SetProcessStartHook(ProcessStartHook hook) { Replace(&g_process_start_hook, std::move(hook)); }
void SetShellStartHook(ShellStartHook hook) { Replace(&g_shell_start_hook, std::move(hook)); }

namespace hooks {

MessageBoxHook CurrentMessageBoxHook() { return Copy(g_message_box_hook); }
LibraryHook CurrentLibraryHook() { return Copy(g_library_hook); }
ShellOpenHook CurrentShellOpenHook() { return Copy(g_shell_open_hook); }
ProcessStartHook CurrentProcessStartHook() { return Copy(g_process_start_hook); }
ShellStartHook CurrentShellStartHook() { return Copy(g_shell_start_hook); }

}  // namespace hooks

}  // namespace platform
