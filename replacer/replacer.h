// The replacer's hand-over: wait until the game no longer runs, move
// "Vossarium.tmp" over "Vossarium.exe" and start the game with our command line.
#pragma once

#include <cstdint>
#include <string>

#include "platform/process.h"

// Everything the replacer asks of the system. The program uses the platform's
// (PlatformReplacerSystem); tests put a scripted world in its place.
class ReplacerSystem {
 public:
  virtual ~ReplacerSystem() = default;

  virtual std::string ModulePath() = 0;
  virtual char PathSeparator() = 0;
  virtual void LoadProcessPathLookup() = 0;
  // As platform::ForEachProcess: false when no process list can be taken.
  virtual bool ForEachProcess(const platform::ProcessVisitor& visit) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // Size of the file in bytes, or -1 when it cannot be read.
  virtual int64_t FileLength(const std::string& path) = 0;
  virtual bool Remove(const std::string& path, uint32_t* error) = 0;
  // Moves `from` over `to`, replacing it, written through to the disk.
  virtual bool Move(const std::string& from, const std::string& to, uint32_t* error) = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
  virtual std::string CommandLine() = 0;
  // Starts `application` with `command_line` in our own current directory.
  virtual bool Start(const std::string& application, const std::string& command_line,
                     uint32_t* error) = 0;
  virtual int ShowMessage(const char* text, const char* caption, uint32_t flags) = 0;
  virtual int ShowMessageW(const char16_t* text, const char16_t* caption, uint32_t flags) = 0;
};

// The files the replacer works on, all in its own directory.
struct ReplacerPaths {
  std::string directory;        // ends in the separator
  std::string new_executable;   // directory + "Vossarium.tmp"
  std::string game_executable;  // directory + "Vossarium.exe"
};

// The exit codes of the replacer.
constexpr int kReplacerExitDone = 0;     // game started (or not startable), or wait given up
constexpr int kReplacerExitAborted = 1;  // the player chose Abort after a failed move

// Pause between two looks at the process list or two deletion attempts.
constexpr uint32_t kReplacerWaitStepMs = 100;
// Pauses made while the game still runs before giving up (about 10 seconds).
constexpr int kReplacerWaitLimit = 101;
// Pauses made while the old game file cannot be deleted before the move is
// tried anyway and its failure is shown to the player (about 10 seconds).
constexpr int kReplacerDeleteRetryLimit = 100;

ReplacerPaths ReplacerPathsFrom(const std::string& module_path, char separator);

// The number of a process running the program at `path` (letters A to Z
// compared without case), or -1 when none does.
int64_t FindProcessByPath(ReplacerSystem& system, const std::string& path);

// Starts the game with the replacer's own command line, telling the player
// when it cannot start. Answers the exit code the replacer then ends with.
int StartClient(ReplacerSystem& system, const ReplacerPaths& paths);

// Swaps the new executable in and starts the game. Answers the exit code:
// StartClient's, or kReplacerExitAborted when the player gave up.
int ReplaceExecutable(ReplacerSystem& system, const ReplacerPaths& paths);

// The whole replacer run; answers its exit code.
int RunReplacer(ReplacerSystem& system);
