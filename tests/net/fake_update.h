// A front end for tests: records progress and status calls, and can abort the
// transfer from inside a status call the way the window's button does.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

#include "launcher/fendu_update.h"
#include "net/http.h"
#include "platform/platform.h"

class FakeUpdate : public Fendu_Update {
 public:
  FakeUpdate() : Fendu_Update(nullptr, Parlo_String("dir/"), Parlo_String("http://x/")) {}

  bool OpenWindow() override { return true; }
  bool CloseWindow() override { return true; }
  void SetProgress(uint32_t value) override {
    position = value;
    positions.push_back(value);
  }
  void SetProgressRange(uint32_t value) override { range = value; }
  void SetStatus(const char16_t* key, ...) override {
    std::string entry = platform::Utf16ToUtf8(key);
    if (entry == "update_downloadingbytes") {
      va_list args;
      va_start(args, key);
      double done = va_arg(args, double);
      double total = va_arg(args, double);
      va_end(args);
      char text[96];
      std::snprintf(text, sizeof(text), " %.4f %.4f", done, total);
      entry += text;
    }
    statuses.push_back(entry);
    if (abort_in_status) g_http.Abort();
  }
  void ReplaceClient() override {}
  bool IsCancelled() override { return false; }

  std::vector<uint32_t> positions;
  std::vector<std::string> statuses;
  bool abort_in_status = false;
};
