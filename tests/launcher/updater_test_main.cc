// The updater as the end-to-end tests run it: the same start-up and update run,
// but every message box is written to standard error and answered at once (No,
// Abort or OK), the debug log also goes to standard error, and the update
// server's address may come from VOSSARIUM_TEST_UPDATE_URL and the pause between
// attempts from VOSSARIUM_TEST_RETRY_PAUSE_MS. Never shipped.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/debug_log.h"
#include "launcher/startup.h"
#include "launcher/update_run.h"
#include "platform/entry.h"
#include "platform/platform.h"

namespace {

void LogToStderr(const char16_t* text) {
  std::string utf8 = platform::Utf16ToUtf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}

int AnswerBox(std::string_view text, std::string_view caption, uint32_t flags) {
  std::fprintf(stderr, "[messagebox] %.*s: %.*s\n", int(caption.size()), caption.data(),
               int(text.size()), text.data());
  std::fflush(stderr);
  if ((flags & 0xF) == platform::kMbYesNo) return platform::kIdNo;
  if ((flags & 0xF) == platform::kMbAbortRetryIgnore) return platform::kIdAbort;
  return platform::kIdOk;
}

}  // namespace

int AppMain(void* instance, const char* command_line) {
  platform::SetMessageBoxHook(AnswerBox);
  SetDebugLogSink(LogToStderr);
  if (const char* url = std::getenv("VOSSARIUM_TEST_UPDATE_URL")) {
    std::snprintf(g_updateBaseURL, sizeof(g_updateBaseURL), "%s", url);
  }
  if (const char* pause = std::getenv("VOSSARIUM_TEST_RETRY_PAUSE_MS")) {
    g_retryPauseMs = static_cast<uint32_t>(std::strtoul(pause, nullptr, 10));
  }
  return RunUpdater(instance, command_line);
}
