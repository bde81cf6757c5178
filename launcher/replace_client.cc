#include "launcher/replace_client.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/debug_log.h"
#include "launcher/replacer_image.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace {

constexpr const char kDeployFailedText[] =
    "Unable to finish deploying the game! Make sure you kill all running processes and try "
    "again!";
constexpr const char kStartErrorCaption[] = "Vossarium error!";

// Writes the whole image and closes the file. A file that did not take all of
// it is removed: a cut-short program must never be started.
bool WriteReplacerFile(const char* path) {
  platform::FileHandle file = platform::FileCreateTruncate(path);
  if (!file) return false;
  bool written = platform::FileWrite(file, g_replacerImage, g_replacerImageSize);
  platform::FileClose(file);
  if (!written) {
    platform::FileRemove(path);
    return false;
  }
  platform::FileMakeExecutable(path);
  return true;
}

void ShowStartError(const char* format, uint32_t code) {
  char text[128];
  std::snprintf(text, sizeof(text), format, static_cast<unsigned>(code));
  platform::ShowMessageBox(text, kStartErrorCaption, platform::kMbIconError);
}

}  // namespace

void WriteAndStartReplacer(const Parlo_String& gameDirectory) {
  Parlo_String path = gameDirectory + kReplacerFileName;
  DebugLog(u"[upd] Replacer: '%S'\n", path.Buffer());
  if (!WriteReplacerFile(path.Buffer())) {
    platform::ShowMessageBox(kDeployFailedText, nullptr, platform::kMbIconError);
    return;
  }
  DebugLog(u"[upd] proc path: '%S'\n", path.Buffer());
  DebugLog(u"[upd] game path: '%S'\n", gameDirectory.Buffer());

  std::string command_line = platform::CommandLine();
  uint32_t error = 0;
  if (!platform::StartProcess(path.Buffer(), command_line.c_str(), gameDirectory.Buffer(),
                              &error)) {
    DebugLog(u"[upd] crpr error: %08X\n", static_cast<unsigned>(error));
    ShowStartError("Unable to finish update process: %08X - gonna try again nicely...", error);
    intptr_t result =
        platform::ShellStart(path.Buffer(), command_line.c_str(), gameDirectory.Buffer());
    DebugLog(u"[upd] shellexec: %d\n", static_cast<int>(result));
    if (result < 32) {
      ShowStartError("Unable to finish update process: %08X - giving up now.",
                     static_cast<uint32_t>(result));
    }
  }
  DebugLog(u"[upd] done.\n");
}
