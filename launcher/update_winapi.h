// The window front end of an update run: a small progress dialog whose messages
// are pumped each time a status is shown, and the process-wide flags it sets.
#pragma once

#include <atomic>
#include <cstdint>

#include "launcher/fendu_update.h"

// The progress window is the active window; kept by the dialog procedure.
extern bool g_windowActive;
// The player asked to stop (Cancel button, or Ctrl-C on the console); never
// reset during the process. Atomic because Ctrl-C sets it from a signal handler.
extern std::atomic<bool> g_updateCancelled;
// Client number sent to the server; nothing assigns it, so it stays 0.
extern int32_t g_clientId;

// What a cancel request does, whoever makes it: stops the transfer under way on
// g_http and sets g_updateCancelled. Only lock-free atomic stores, so a signal
// handler may call it.
void RequestUpdateCancel();

// The window calls of the front end; tests put a fake in place of the real
// dialog (platform/progress_window.h).
class Fendu_UpdateWindowDriver {
 public:
  virtual void* Open(void* instance) = 0;
  virtual void Destroy(void* window) = 0;
  virtual void Pump(void* window) = 0;
  virtual void SetStatusText(void* window, const char16_t* text) = 0;
  virtual void SetTitle(void* window, const char16_t* text) = 0;
  virtual void SetPosition(void* window, uint32_t position) = 0;
  virtual void SetRange(void* window, uint32_t range) = 0;

 protected:
  ~Fendu_UpdateWindowDriver() = default;
};

// The driver over the real dialog; lives for the whole process.
Fendu_UpdateWindowDriver* RealUpdateWindowDriver();

class Fendu_Update_WINAPI : public Fendu_Update {
 public:
  using Fendu_Update::Fendu_Update;

  // Always true, even when the dialog could not be created: the run then goes
  // on without a window, as every window call below ignores a missing one.
  bool OpenWindow() override;
  bool CloseWindow() override;
  void SetProgress(uint32_t position) override;
  // Puts the bar back at 0; the stored position stays.
  void SetProgressRange(uint32_t range) override;
  // Shows the text of one of the four localisation keys, sets the title and
  // pumps the window's messages. An unknown key changes nothing.
  void SetStatus(const char16_t* key, ...) override;
  void ReplaceClient() override;
  bool IsCancelled() override;
  bool ForceClientCheck() override { return true; }
  int32_t GetLanguage() override;
  int32_t GetClientId() override;

  // The module instance that holds the dialog template and the icon; set by
  // the creator before OpenWindow.
  void* instance = nullptr;
  // The dialog, null before OpenWindow and after CloseWindow.
  void* window = nullptr;
  // Tests replace it before OpenWindow.
  Fendu_UpdateWindowDriver* driver = RealUpdateWindowDriver();
};
