// Opens the real progress window from the program's resources, shows a download
// at 37.5% and keeps it alive for a while, so a screenshot can be taken.
// Usage: progress_window_demo MARKER [MILLISECONDS]. MARKER is created once
// the window has been shown and painted. At the end the Cancel button is
// clicked; the exit code is 0 only when the front end saw the cancel.
#include <cstdlib>
#include <string>

#include "launcher/update_winapi.h"
#include "platform/entry.h"
#include "platform/platform.h"
#include "platform/progress_window.h"

int AppMain(void* instance, const char* command_line) {
  std::string args = command_line ? command_line : "";
  size_t blank = args.find(' ');
  std::string marker = args.substr(0, blank);
  int duration = blank == std::string::npos ? 2000 : std::atoi(args.c_str() + blank + 1);
  if (marker.empty()) return 2;

  Fendu_Update_WINAPI update(nullptr, Parlo_String(""), Parlo_String(""));
  update.instance = instance;
  update.OpenWindow();
  if (update.window == nullptr) return 1;
  update.SetProgressRange(4 * 1048576);
  update.SetProgress(3 * 1048576 / 2);

  bool marked = false;
  uint32_t start = platform::TickCount32();
  while (platform::TickCount32() - start < static_cast<uint32_t>(duration)) {
    update.SetStatus(u"update_downloadingbytes", 1.5, 4.0);
    if (!marked && platform::TickCount32() - start >= 300) {
      platform::FileClose(platform::FileCreateTruncate(marker.c_str()));
      marked = true;
    }
    platform::SleepMs(20);
  }
  if (!marked) return 1;

  // The button goes through the same pump as everything else: its message is
  // addressed to the button, a child of the window.
  platform::ProgressWindowClickCancel(update.window);
  update.SetStatus(u"update_finished");
  bool cancelled = update.IsCancelled();
  update.CloseWindow();
  return cancelled ? 0 : 3;
}
