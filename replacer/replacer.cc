#include "replacer/replacer.h"

#include "platform/platform.h"

namespace {

char FoldAsciiLetter(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool EqualFoldingAsciiLetters(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAsciiLetter(a[i]) != FoldAsciiLetter(b[i])) return false;
  }
  return true;
}

std::u16string Wide(const std::string& text) { return platform::Utf8ToUtf16(text); }

std::u16string MoveFailureText(const ReplacerPaths& paths, uint32_t error) {
  std::u16string text = u"Unable to update executable - process might be still running.";
  text += u"\n\nOLD: " + Wide(paths.new_executable);
  text += u"\nNEW: " + Wide(paths.game_executable);
  text += u"\nERROR: " + Wide(std::to_string(static_cast<int32_t>(error)));
  return text;
}

// Deletes the old game file, retrying while something still holds it. After
// the retry limit the move is tried regardless: it fails as long as the file
// is held, and that failure goes to the player instead of waiting for ever.
void RemoveOldExecutable(ReplacerSystem& system, const ReplacerPaths& paths) {
  if (!system.Exists(paths.game_executable)) return;
  for (int pauses = 0;; ++pauses) {
    uint32_t error = 0;
    if (system.Remove(paths.game_executable, &error)) return;
    if (pauses == kReplacerDeleteRetryLimit) return;
    system.Sleep(kReplacerWaitStepMs);
  }
}

// Whether a new executable waits to be installed. An empty file is no program:
// it is left alone, so a cut-short copy can never take the game's place.
bool NewExecutableWaiting(ReplacerSystem& system, const ReplacerPaths& paths) {
  if (!system.Exists(paths.new_executable)) return false;
  return system.FileLength(paths.new_executable) != 0;
}

}  // namespace

ReplacerPaths ReplacerPathsFrom(const std::string& module_path, char separator) {
  ReplacerPaths paths;
  size_t last = module_path.rfind(separator);
  if (last != std::string::npos) paths.directory = module_path.substr(0, last + 1);
  paths.new_executable = paths.directory + "Vossarium.tmp";
  paths.game_executable = paths.directory + "Vossarium.exe";
  return paths;
}

int64_t FindProcessByPath(ReplacerSystem& system, const std::string& path) {
  int64_t found = -1;
  system.ForEachProcess([&](uint32_t id, const std::string& process_path) {
    if (!EqualFoldingAsciiLetters(process_path, path)) return false;
    found = id;
    return true;
  });
  return found;
}

int StartClient(ReplacerSystem& system, const ReplacerPaths& paths) {
  uint32_t error = 0;
  if (!system.Start(paths.game_executable, system.CommandLine(), &error)) {
    system.ShowMessageW(u"Unable to start Vossarium client! Please reinstall the game!",
                        u"Unable to start Vossarium client", platform::kMbIconError);
  }
  return kReplacerExitDone;
}

int ReplaceExecutable(ReplacerSystem& system, const ReplacerPaths& paths) {
  RemoveOldExecutable(system, paths);
  for (;;) {
    uint32_t error = 0;
    if (system.Move(paths.new_executable, paths.game_executable, &error)) {
      return StartClient(system, paths);
    }
    std::u16string text = MoveFailureText(paths, error);
    int answer = system.ShowMessageW(text.c_str(), u"Unable to update Vossarium client",
                                     platform::kMbAbortRetryIgnore | platform::kMbIconError);
    if (answer == platform::kIdAbort) return kReplacerExitAborted;
    if (answer == platform::kIdIgnore) return StartClient(system, paths);
  }
}

int RunReplacer(ReplacerSystem& system) {
  ReplacerPaths paths = ReplacerPathsFrom(system.ModulePath(), system.PathSeparator());
  system.LoadProcessPathLookup();
  for (int pauses = 0; FindProcessByPath(system, paths.game_executable) != -1; ++pauses) {
    if (pauses == kReplacerWaitLimit) {
      system.ShowMessage(
          "The Vossarium client appears to be stuck. Please close it to finish the update "
          "mechanism.",
          "Vossarium error.", platform::kMbIconError);
      return kReplacerExitDone;
    }
    system.Sleep(kReplacerWaitStepMs);
  }
  if (!NewExecutableWaiting(system, paths)) return StartClient(system, paths);
  return ReplaceExecutable(system, paths);
}
