#include "replacer/platform_system.h"

#include "platform/platform.h"

std::string PlatformReplacerSystem::ModulePath() { return platform::ModulePath(); }

char PlatformReplacerSystem::PathSeparator() { return platform::PathSeparator(); }

void PlatformReplacerSystem::LoadProcessPathLookup() { platform::LoadProcessPathLookup(); }

bool PlatformReplacerSystem::ForEachProcess(const platform::ProcessVisitor& visit) {
  return platform::ForEachProcess(visit);
}

bool PlatformReplacerSystem::Exists(const std::string& path) {
  return platform::PathExists(path.c_str());
}

int64_t PlatformReplacerSystem::FileLength(const std::string& path) {
  platform::FileHandle file = platform::FileOpenExisting(path.c_str());
  if (!file) return -1;
  int64_t size = platform::FileSize(file);
  platform::FileClose(file);
  return size;
}

bool PlatformReplacerSystem::Remove(const std::string& path, uint32_t* error) {
  return platform::RemoveFileReporting(path.c_str(), error);
}

bool PlatformReplacerSystem::Move(const std::string& from, const std::string& to, uint32_t* error) {
  return platform::MoveFileReporting(from.c_str(), to.c_str(), error);
}

void PlatformReplacerSystem::Sleep(uint32_t milliseconds) { platform::SleepMs(milliseconds); }

std::string PlatformReplacerSystem::CommandLine() { return platform::CommandLine(); }

bool PlatformReplacerSystem::Start(const std::string& application, const std::string& command_line,
                                   uint32_t* error) {
  return platform::StartProcess(application.c_str(), command_line.c_str(), nullptr, error);
}

int PlatformReplacerSystem::ShowMessage(const char* text, const char* caption, uint32_t flags) {
  return platform::ShowMessageBox(text, caption, flags);
}

int PlatformReplacerSystem::ShowMessageW(const char16_t* text, const char16_t* caption,
                                         uint32_t flags) {
  return platform::ShowMessageBoxW(text, caption, flags);
}
