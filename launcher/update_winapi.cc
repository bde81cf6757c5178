#include "launcher/update_winapi.h"

#include <cstdarg>
#include <cstdint>

#include "common/format.h"
#include "launcher/replace_client.h"
#include "launcher/startup.h"
#include "launcher/update_status.h"
#include "net/http.h"
#include "platform/progress_window.h"

bool g_windowActive = true;
std::atomic<bool> g_updateCancelled{false};
int32_t g_clientId = 0;

// Ctrl-C calls this from a signal handler: every store in it must be lock-free.
static_assert(std::atomic<bool>::is_always_lock_free);

void RequestUpdateCancel() {
  g_http.Abort();
  g_updateCancelled = true;
}

namespace {

constexpr char16_t kWindowTitle[] = u"Vossarium Updater";
// The inactive title holds the percentage and the whole status text.
constexpr size_t kTitleSize = 5096;

void OnCancel() { RequestUpdateCancel(); }
void OnActivate(bool active) { g_windowActive = active; }

class RealDriver final : public Fendu_UpdateWindowDriver {
 public:
  void* Open(void* instance) override {
    platform::ProgressWindowEvents events;
    events.on_cancel = OnCancel;
    events.on_activate = OnActivate;
    return platform::ProgressWindowOpen(instance, events);
  }
  void Destroy(void* window) override { platform::ProgressWindowDestroy(window); }
  void Pump(void* window) override { platform::PumpMessages(window); }
  void SetStatusText(void* window, const char16_t* text) override {
    platform::ProgressWindowSetStatus(window, text);
  }
  void SetTitle(void* window, const char16_t* text) override {
    platform::ProgressWindowSetTitle(window, text);
  }
  void SetPosition(void* window, uint32_t position) override {
    platform::ProgressWindowSetPosition(window, position);
  }
  void SetRange(void* window, uint32_t range) override {
    platform::ProgressWindowSetRange(window, range);
  }
};

size_t FormatInto(char16_t* out, size_t max, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  size_t written = FormatBoundedW(out, max, format, args);
  va_end(args);
  return written;
}

}  // namespace

Fendu_UpdateWindowDriver* RealUpdateWindowDriver() {
  static RealDriver driver;
  return &driver;
}

bool Fendu_Update_WINAPI::OpenWindow() {
  window = driver->Open(instance);
  return true;
}

bool Fendu_Update_WINAPI::CloseWindow() {
  if (window) driver->Destroy(window);
  window = nullptr;
  return true;
}

void Fendu_Update_WINAPI::SetProgress(uint32_t newPosition) {
  if (window) driver->SetPosition(window, newPosition);
  position = newPosition;
}

void Fendu_Update_WINAPI::SetProgressRange(uint32_t newRange) {
  if (window) driver->SetRange(window, newRange);
  range = newRange;
}

void Fendu_Update_WINAPI::SetStatus(const char16_t* key, ...) {
  const char16_t* format = StatusFormatForKey(key);
  if (format == nullptr) return;

  char16_t text[kStatusTextSize];
  va_list args;
  va_start(args, key);
  FormatStatusText(text, format, args);
  va_end(args);
  if (!window) return;
  driver->SetStatusText(window, text);

  // While the player works in another window, the progress shows in the taskbar.
  if (g_windowActive) {
    driver->SetTitle(window, kWindowTitle);
  } else {
    char16_t title[kTitleSize];
    FormatInto(title, kTitleSize - 1, u"%d%% - %s", ProgressPercent(position, range), text);
    driver->SetTitle(window, title);
  }
  driver->Pump(window);
}

void Fendu_Update_WINAPI::ReplaceClient() { WriteAndStartReplacer(GetGameDirectory()); }

bool Fendu_Update_WINAPI::IsCancelled() { return g_updateCancelled; }

int32_t Fendu_Update_WINAPI::GetLanguage() { return g_language; }

int32_t Fendu_Update_WINAPI::GetClientId() { return g_clientId; }
