// A stand-in for the game, in the hand-over tests, the end-to-end tests and the
// demo's release: prints the whole command line it was started with, keeps it
// byte for byte in "standin_received.txt" beside itself and ends. With
// "--linger" it plays a game that is still running: it says so in
// "standin_started.txt", runs 1.5 s and leaves "standin_lingered.txt".
#include <cstdio>
#include <string>

#include "platform/entry.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace {

// The test waits for the final name, so it never reads a half-written file.
bool WriteWhole(const std::string& directory, const char* name, const std::string& text) {
  std::string part = directory + name + ".part";
  std::string done = directory + name;
  platform::FileHandle file = platform::FileCreateTruncate(part.c_str());
  if (!file) return false;
  bool written = platform::FileWrite(file, text.data(), static_cast<uint32_t>(text.size()));
  platform::FileClose(file);
  return written && platform::FileMoveReplace(part.c_str(), done.c_str());
}

}  // namespace

int AppMain(void*, const char*) {
  std::string own = platform::ModulePath();
  std::string directory = own.substr(0, own.rfind(platform::PathSeparator()) + 1);
  std::string line = platform::CommandLine();
  std::vector<std::string> args = platform::SplitCommandLine(line);
  if (args.size() == 2 && args[1] == "--linger") {
    if (!WriteWhole(directory, "standin_started.txt", line)) return 2;
    platform::SleepMs(1500);
    return WriteWhole(directory, "standin_lingered.txt", line) ? 0 : 2;
  }
  std::printf("Vossarium stand-in game started. Command line received:\n  %s\n", line.c_str());
  std::fflush(stdout);
  return WriteWhole(directory, "standin_received.txt", line) ? 0 : 2;
}
