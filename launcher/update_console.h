// The console front end of an update run, for systems without the progress
// window: status and progress on standard error, Ctrl-C for the Cancel button.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "launcher/fendu_update.h"

class Fendu_Update_Console : public Fendu_Update {
 public:
  // Where the text goes and how it is shown.
  struct Output {
    std::function<void(std::string_view)> write;
    // A person watches: one line redrawn in place with a bar. Otherwise plain
    // lines (logs, scripts), with download progress only every tenth.
    bool terminal = false;
    // Milliseconds; paces the redraws of the live line.
    std::function<uint32_t()> clock;
  };

  // Writes to standard error, live when it is a terminal.
  Fendu_Update_Console(Parlo_BigFile* mainArchive, Parlo_String gameDirectory,
                       Parlo_String updateURL);
  Fendu_Update_Console(Parlo_BigFile* mainArchive, Parlo_String gameDirectory,
                       Parlo_String updateURL, Output output);

  // Catches Ctrl-C (a second press ends the process); always true.
  bool OpenWindow() override;
  // Ends the live line and gives Ctrl-C back to the system; always true.
  bool CloseWindow() override;
  void SetProgress(uint32_t position) override;
  void SetProgressRange(uint32_t range) override;
  // Shows the text of one of the four localisation keys; an unknown key
  // changes nothing.
  void SetStatus(const char16_t* key, ...) override;
  void ReplaceClient() override;
  bool IsCancelled() override;
  // The console deploys the client like the window does.
  bool ForceClientCheck() override { return true; }
  int32_t GetLanguage() override;
  int32_t GetClientId() override;

  // Least time between two redraws of the live line.
  static constexpr uint32_t kRedrawIntervalMs = 100;

 private:
  // Turns a Ctrl-C into an abort of the transfer under way: the signal only sets
  // flags, and a transfer may have cleared its own since.
  void PollCancel();
  void ShowLive(bool force);
  void EndLiveLine();
  std::string LiveLine() const;
  int Percent() const;

  Output output_;
  // Format of the status shown last (identifies its key), and its text.
  const char16_t* shownFormat_ = nullptr;
  std::string text_;
  // The live line is on screen without its line break; its width.
  bool lineOpen_ = false;
  size_t lineWidth_ = 0;
  // A change of the live line waits for the next redraw.
  bool pending_ = false;
  uint32_t lastDrawMs_ = 0;
  // Plain output: the tenth of the download printed last (-1: none yet).
  int printedTenth_ = -1;
  bool cancelShown_ = false;
};
