// The replacer's decisions against a scripted system: the wait for the game,
// the swap with its Abort/Retry/Ignore dialog, and the start.
#include "replacer/replacer.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

const std::string kDir = "C:\\Game\\";
const std::string kExe = kDir + "Vossarium.exe";
const std::string kTmp = kDir + "Vossarium.tmp";
const std::string kCommandLine = "\"C:\\Game\\Vossarium.exe\" -x 1 \"a b\"";

struct Message {
  std::string text;
  std::string caption;
  uint32_t flags;
  bool wide;
};

struct StartCall {
  std::string application;
  std::string command_line;
};

class FakeSystem : public ReplacerSystem {
 public:
  // The game shows in the process list for this many lookups (-1: for ever).
  int game_runs_for_lookups = 0;
  std::string game_process_path = kExe;
  std::vector<std::pair<uint32_t, std::string>> other_processes = {{4, "C:\\Windows\\x.exe"}};
  bool process_list_fails = false;
  std::map<std::string, std::string> files = {{kExe, "old game"}, {kTmp, "new game"}};
  int remove_failures = 0;  // -1: for ever
  int move_failures = 0;    // -1: for ever
  std::deque<int> answers;

  int lookups = 0;
  int removes = 0;
  int moves = 0;
  std::vector<uint32_t> sleeps;
  std::vector<StartCall> starts;
  std::vector<Message> messages;

  std::string ModulePath() override { return kDir + "vossarium_exereplace.exe"; }
  char PathSeparator() override { return '\\'; }
  void LoadProcessPathLookup() override {}
  bool ForEachProcess(const platform::ProcessVisitor& visit) override {
    ++lookups;
    if (process_list_fails) return false;
    for (const auto& [id, path] : other_processes) {
      if (visit(id, path)) return true;
    }
    bool game_runs = game_runs_for_lookups < 0 || lookups <= game_runs_for_lookups;
    if (game_runs) visit(1234, game_process_path);
    return true;
  }
  bool Exists(const std::string& path) override { return files.count(path) != 0; }
  int64_t FileLength(const std::string& path) override {
    auto it = files.find(path);
    return it == files.end() ? -1 : static_cast<int64_t>(it->second.size());
  }
  bool Remove(const std::string& path, uint32_t* error) override {
    ++removes;
    if (Fails(&remove_failures)) {
      *error = 32;
      return false;
    }
    return files.erase(path) != 0;
  }
  bool Move(const std::string& from, const std::string& to, uint32_t* error) override {
    ++moves;
    if (Fails(&move_failures) || files.count(from) == 0) {
      *error = 5;
      return false;
    }
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  void Sleep(uint32_t milliseconds) override { sleeps.push_back(milliseconds); }
  std::string CommandLine() override { return kCommandLine; }
  bool Start(const std::string& application, const std::string& command_line,
             uint32_t* error) override {
    starts.push_back({application, command_line});
    if (files.count(application) != 0) return true;
    *error = 2;
    return false;
  }
  int ShowMessage(const char* text, const char* caption, uint32_t flags) override {
    messages.push_back({text, caption, flags, false});
    return Answer();
  }
  int ShowMessageW(const char16_t* text, const char16_t* caption, uint32_t flags) override {
    messages.push_back({platform::Utf16ToUtf8(text), platform::Utf16ToUtf8(caption), flags, true});
    return Answer();
  }

 private:
  static bool Fails(int* failures) {
    if (*failures == 0) return false;
    if (*failures > 0) --*failures;
    return true;
  }
  int Answer() {
    if (answers.empty()) return platform::kIdOk;
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

const std::string kStartFailedText = "Unable to start Vossarium client! Please reinstall the game!";

std::string MoveFailedText(int error) {
  return "Unable to update executable - process might be still running.\n\nOLD: " + kTmp +
         "\nNEW: " + kExe + "\nERROR: " + std::to_string(error);
}

TEST(FindProcessByPath, FoldsOnlyTheLettersAToZ) {
  struct Case {
    std::string process_path;
    int64_t expected;
  } cases[] = {
      {kExe, 1234},
      {"c:\\GAME\\vossarium.EXE", 1234},
      {"C:\\Game\\Vossarium.exe2", -1},
      {"C:\\Game\\Vossarium.ex", -1},
      {"C:/Game/Vossarium.exe", -1},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.game_runs_for_lookups = -1;
    system.game_process_path = c.process_path;
    EXPECT_EQ(FindProcessByPath(system, kExe), c.expected) << c.process_path;
  }
  // Letters beyond ASCII are compared as they are: "\xC3\xA4" is a, "\xC3\x84" is A umlaut.
  FakeSystem system;
  system.game_runs_for_lookups = -1;
  system.game_process_path = "C:\\G\xC3\xA4me\\Vossarium.exe";
  EXPECT_EQ(FindProcessByPath(system, "C:\\G\xC3\x84me\\Vossarium.exe"), -1);
  EXPECT_EQ(FindProcessByPath(system, "C:\\G\xC3\xA4ME\\Vossarium.exe"), 1234);
}

TEST(FindProcessByPath, NoProcessListFindsNothing) {
  FakeSystem system;
  system.game_runs_for_lookups = -1;
  system.process_list_fails = true;
  EXPECT_EQ(FindProcessByPath(system, kExe), -1);
}

TEST(RunReplacer, GivesUpAfter101PausesWhenTheGameStaysRunning) {
  FakeSystem system;
  system.game_runs_for_lookups = -1;
  EXPECT_EQ(RunReplacer(system), 0);
  EXPECT_EQ(system.lookups, 102);
  EXPECT_EQ(system.sleeps, std::vector<uint32_t>(101, 100));
  ASSERT_EQ(system.messages.size(), 1u);
  EXPECT_EQ(system.messages[0].text,
            "The Vossarium client appears to be stuck. Please close it to finish the update "
            "mechanism.");
  EXPECT_EQ(system.messages[0].caption, "Vossarium error.");
  EXPECT_EQ(system.messages[0].flags, 0x10u);
  EXPECT_FALSE(system.messages[0].wide);
  EXPECT_TRUE(system.starts.empty());
  EXPECT_EQ(system.moves + system.removes, 0);
  EXPECT_EQ(system.files.at(kExe), "old game");
}

TEST(RunReplacer, WaitsForTheGameThenSwapsAndStartsIt) {
  FakeSystem system;
  system.game_runs_for_lookups = 101;  // the last check before giving up finds it gone
  EXPECT_EQ(RunReplacer(system), 0);
  EXPECT_EQ(system.sleeps.size(), 101u);
  EXPECT_TRUE(system.messages.empty());
  EXPECT_EQ(system.files.at(kExe), "new game");
  EXPECT_EQ(system.files.count(kTmp), 0u);
  ASSERT_EQ(system.starts.size(), 1u);
  EXPECT_EQ(system.starts[0].application, kExe);
  EXPECT_EQ(system.starts[0].command_line, kCommandLine);
}

TEST(RunReplacer, WithoutANewExecutableOnlyStartsTheGame) {
  FakeSystem system;
  system.files.erase(kTmp);
  EXPECT_EQ(RunReplacer(system), 0);
  EXPECT_EQ(system.moves + system.removes, 0);
  ASSERT_EQ(system.starts.size(), 1u);
  EXPECT_EQ(system.starts[0].application, kExe);
  EXPECT_EQ(system.starts[0].command_line, kCommandLine);
  EXPECT_TRUE(system.messages.empty());
}

TEST(RunReplacer, AnEmptyNewExecutableNeverReplacesTheGame) {
  FakeSystem system;
  system.files[kTmp] = "";
  EXPECT_EQ(RunReplacer(system), 0);
  EXPECT_EQ(system.moves + system.removes, 0);
  EXPECT_EQ(system.files.at(kExe), "old game");
  ASSERT_EQ(system.starts.size(), 1u);
  EXPECT_EQ(system.starts[0].application, kExe);
}

TEST(RunReplacer, AGameThatCannotStartIsReported) {
  FakeSystem system;
  system.files.clear();
  EXPECT_EQ(RunReplacer(system), 0);
  ASSERT_EQ(system.messages.size(), 1u);
  EXPECT_EQ(system.messages[0].text, kStartFailedText);
  EXPECT_EQ(system.messages[0].caption, "Unable to start Vossarium client");
  EXPECT_EQ(system.messages[0].flags, 0x10u);
  EXPECT_TRUE(system.messages[0].wide);
}

TEST(ReplaceExecutable, FailedMoveOffersAbortRetryIgnore) {
  struct Case {
    const char* name;
    int move_failures;
    std::deque<int> answers;
    int exit_code;
    size_t move_messages;
    bool swapped;
    bool start_fails;
  } cases[] = {
      {"abort", -1, {platform::kIdAbort}, 1, 1, false, false},
      {"retry succeeds", 1, {platform::kIdRetry}, 0, 1, true, false},
      {"retry twice then abort",
       -1,
       {platform::kIdRetry, platform::kIdRetry, platform::kIdAbort},
       1,
       3,
       false,
       false},
      // The old file is gone, so starting without the swap fails and says so.
      {"ignore", -1, {platform::kIdIgnore}, 0, 1, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSystem system;
    system.move_failures = c.move_failures;
    system.answers = c.answers;
    EXPECT_EQ(RunReplacer(system), c.exit_code);
    ASSERT_GE(system.messages.size(), c.move_messages);
    for (size_t i = 0; i < c.move_messages; ++i) {
      EXPECT_EQ(system.messages[i].text, MoveFailedText(5));
      EXPECT_EQ(system.messages[i].caption, "Unable to update Vossarium client");
      EXPECT_EQ(system.messages[i].flags, 0x12u);
      EXPECT_TRUE(system.messages[i].wide);
    }
    EXPECT_EQ(system.messages.size(), c.move_messages + (c.start_fails ? 1 : 0));
    if (c.start_fails) {
      EXPECT_EQ(system.messages.back().text, kStartFailedText);
    }
    EXPECT_EQ(system.starts.size(), c.exit_code == 1 ? 0u : 1u);
    EXPECT_EQ(system.files.count(kExe) != 0 && system.files.at(kExe) == "new game", c.swapped);
  }
}

TEST(ReplaceExecutable, RetriesDeletingTheOldGameEvery100Ms) {
  FakeSystem system;
  system.remove_failures = 3;
  EXPECT_EQ(RunReplacer(system), 0);
  EXPECT_EQ(system.removes, 4);
  EXPECT_EQ(system.sleeps, std::vector<uint32_t>(3, 100));
  EXPECT_EQ(system.files.at(kExe), "new game");
  EXPECT_TRUE(system.messages.empty());
}

TEST(ReplaceExecutable, AHeldOldGameEndsInTheMoveDialogAfterAbout10Seconds) {
  FakeSystem system;
  system.remove_failures = -1;
  system.move_failures = -1;
  system.answers = {platform::kIdAbort};
  EXPECT_EQ(RunReplacer(system), 1);
  EXPECT_EQ(system.removes, 101);
  EXPECT_EQ(system.sleeps, std::vector<uint32_t>(100, 100));
  ASSERT_EQ(system.messages.size(), 1u);
  EXPECT_EQ(system.messages[0].text, MoveFailedText(5));
  EXPECT_EQ(system.messages[0].flags, 0x12u);
  EXPECT_TRUE(system.starts.empty());
}

TEST(ReplacerPathsFrom, TakesTheDirectoryUpToTheLastSeparator) {
  ReplacerPaths paths = ReplacerPathsFrom("C:\\A b\\Game\\vossarium_exereplace.exe", '\\');
  EXPECT_EQ(paths.directory, "C:\\A b\\Game\\");
  EXPECT_EQ(paths.new_executable, "C:\\A b\\Game\\Vossarium.tmp");
  EXPECT_EQ(paths.game_executable, "C:\\A b\\Game\\Vossarium.exe");
}

}  // namespace
