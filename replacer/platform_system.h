// The replacer's view of the real system: every call goes to the platform
// layer (platform.h and process.h).
#pragma once

#include "replacer/replacer.h"

class PlatformReplacerSystem : public ReplacerSystem {
 public:
  std::string ModulePath() override;
  char PathSeparator() override;
  void LoadProcessPathLookup() override;
  bool ForEachProcess(const platform::ProcessVisitor& visit) override;
  bool Exists(const std::string& path) override;
  int64_t FileLength(const std::string& path) override;
  bool Remove(const std::string& path, uint32_t* error) override;
  bool Move(const std::string& from, const std::string& to, uint32_t* error) override;
  void Sleep(uint32_t milliseconds) override;
  std::string CommandLine() override;
  bool Start(const std::string& application, const std::string& command_line,
             uint32_t* error) override;
  int ShowMessage(const char* text, const char* caption, uint32_t flags) override;
  int ShowMessageW(const char16_t* text, const char16_t* caption, uint32_t flags) override;
};
