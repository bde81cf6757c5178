// The game as the end-to-end tests and the demo ship it in a release: it prints
// the whole command line it was started with and keeps it, byte for byte, in
// "standin_received.txt" beside itself, so a test can compare what arrived.
#include <cstdio>
#include <string>

#include "platform/entry.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace {

// The file appears under its final name only when complete, so a waiting test
// never reads half of it.
bool WriteWhole(const std::string& path, const std::string& text) {
  std::string part = path + ".part";
  platform::FileHandle file = platform::FileCreateTruncate(part.c_str());
  if (!file) return false;
  bool written = platform::FileWrite(file, text.data(), static_cast<uint32_t>(text.size()));
  platform::FileClose(file);
  return written && platform::FileMoveReplace(part.c_str(), path.c_str());
}

}  // namespace

int AppMain(void*, const char*) {
  std::string own = platform::ModulePath();
  std::string directory = own.substr(0, own.rfind(platform::PathSeparator()) + 1);
  std::string line = platform::CommandLine();
  std::printf("Vossarium stand-in game started. Command line received:\n  %s\n", line.c_str());
  std::fflush(stdout);
  return WriteWhole(directory + "standin_received.txt", line) ? 0 : 2;
}
