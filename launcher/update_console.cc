#include "launcher/update_console.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

#include "launcher/replace_client.h"
#include "launcher/startup.h"
#include "launcher/update_status.h"
#include "launcher/update_winapi.h"
#include "net/http.h"
#include "platform/platform.h"
#include "platform/terminal.h"

namespace {

constexpr int kBarWidth = 30;

void WriteStandardError(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

Fendu_Update_Console::Output StandardErrorOutput() {
  Fendu_Update_Console::Output output;
  output.write = WriteStandardError;
  output.terminal = platform::StandardErrorIsTerminal();
  output.clock = platform::TickCount32;
  return output;
}

bool IsDownloadFormat(const char16_t* format) {
  return format != nullptr && format == StatusFormatForKey(u"update_downloadingbytes");
}

}  // namespace

Fendu_Update_Console::Fendu_Update_Console(Parlo_BigFile* mainArchive, Parlo_String gameDirectory,
                                           Parlo_String updateURL)
    : Fendu_Update_Console(mainArchive, gameDirectory, updateURL, StandardErrorOutput()) {}

Fendu_Update_Console::Fendu_Update_Console(Parlo_BigFile* mainArchive, Parlo_String gameDirectory,
                                           Parlo_String updateURL, Output output)
    : Fendu_Update(mainArchive, gameDirectory, updateURL), output_(std::move(output)) {
  if (!output_.write) output_.write = [](std::string_view) {};
  if (!output_.clock) output_.clock = platform::TickCount32;
}

bool Fendu_Update_Console::OpenWindow() {
  platform::SetInterruptHandler(RequestUpdateCancel);
  return true;
}

bool Fendu_Update_Console::CloseWindow() {
  EndLiveLine();
  platform::SetInterruptHandler(nullptr);
  return true;
}

void Fendu_Update_Console::PollCancel() {
  if (!g_updateCancelled) return;
  // The transfer under way may have started after the Ctrl-C (a new request
  // clears the abort): stop it again.
  g_http.Abort();
  if (cancelShown_) return;
  cancelShown_ = true;
  EndLiveLine();
  output_.write("Wait...\n");
}

void Fendu_Update_Console::SetProgress(uint32_t newPosition) {
  PollCancel();
  position = newPosition;
}

void Fendu_Update_Console::SetProgressRange(uint32_t newRange) {
  PollCancel();
  range = newRange;
}

int Fendu_Update_Console::Percent() const { return ProgressPercent(position, range); }

void Fendu_Update_Console::SetStatus(const char16_t* key, ...) {
  PollCancel();
  const char16_t* format = StatusFormatForKey(key);
  if (format == nullptr) return;

  char16_t wide[kStatusTextSize];
  va_list args;
  va_start(args, key);
  FormatStatusText(wide, format, args);
  va_end(args);
  std::string text = platform::Utf16ToUtf8(wide);
  bool keyChanged = format != shownFormat_;
  // Each kind of status keeps a line of its own, so the history stays readable.
  if (output_.terminal && keyChanged) EndLiveLine();
  shownFormat_ = format;
  text_ = std::move(text);

  if (output_.terminal) {
    ShowLive(keyChanged);
    return;
  }
  if (IsDownloadFormat(format)) {
    int tenth = Percent() / 10;
    if (!keyChanged && tenth == printedTenth_) return;
    printedTenth_ = tenth;
    output_.write(text_ + " (" + std::to_string(Percent()) + "%)\n");
    return;
  }
  printedTenth_ = -1;
  output_.write(text_ + "\n");
}

std::string Fendu_Update_Console::LiveLine() const {
  if (!IsDownloadFormat(shownFormat_)) return text_;
  int percent = Percent();
  int filled = percent >= 100 ? kBarWidth : percent * kBarWidth / 100;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '.');
  std::string number = std::to_string(percent);
  return text_ + " [" + bar + "] " + std::string(number.size() < 3 ? 3 - number.size() : 0, ' ') +
         number + "%";
}

void Fendu_Update_Console::ShowLive(bool force) {
  uint32_t now = output_.clock();
  if (!force && lineOpen_ && now - lastDrawMs_ < kRedrawIntervalMs) {
    pending_ = true;
    return;
  }
  std::string line = LiveLine();
  size_t width = line.size();
  // Blanks wipe what a longer line before left behind.
  if (width < lineWidth_) line.append(lineWidth_ - width, ' ');
  output_.write("\r" + line);
  lineOpen_ = true;
  lineWidth_ = width;
  pending_ = false;
  lastDrawMs_ = now;
}

void Fendu_Update_Console::EndLiveLine() {
  if (!lineOpen_) return;
  // The last state was held back by the pacing: the line ends with it.
  if (pending_) ShowLive(true);
  output_.write("\n");
  lineOpen_ = false;
  lineWidth_ = 0;
}

void Fendu_Update_Console::ReplaceClient() { WriteAndStartReplacer(GetGameDirectory()); }

bool Fendu_Update_Console::IsCancelled() {
  PollCancel();
  return g_updateCancelled;
}

int32_t Fendu_Update_Console::GetLanguage() { return g_language; }

int32_t Fendu_Update_Console::GetClientId() { return g_clientId; }
