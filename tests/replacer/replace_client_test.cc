// The updater's side of the hand-over: the replacer written beside the game,
// started with the updater's command line, the shell fallback and its messages.
#include "launcher/replace_client.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/debug_log.h"
#include "launcher/replacer_image.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> g_log;

void CollectLog(const char16_t* text) { g_log.push_back(platform::Utf16ToUtf8(text)); }

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Box {
  std::string text;
  std::string caption;
  uint32_t flags;
};

struct Launch {
  std::string application;
  std::string command_line;
  std::string directory;
};

class ReplaceClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string own = platform::ModulePath();
    root_ = fs::path(own.substr(0, own.rfind(platform::PathSeparator()) + 1)) /
            "replace client work" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(root_);
    fs::create_directories(root_);
    game_directory_ = root_.string() + platform::PathSeparator();
    g_log.clear();
    SetDebugLogSink(CollectLog);
    platform::SetMessageBoxHook(
        [this](std::string_view text, std::string_view caption, uint32_t flags) {
          boxes_.push_back({std::string(text), std::string(caption), flags});
          return platform::kIdOk;
        });
    platform::SetProcessStartHook([this](std::string_view application,
                                         std::string_view command_line, std::string_view directory,
                                         uint32_t* error) {
      starts_.push_back(
          {std::string(application), std::string(command_line), std::string(directory)});
      *error = start_error_;
      return start_error_ == 0;
    });
    platform::SetShellStartHook([this](std::string_view file, std::string_view parameters,
                                       std::string_view directory) {
      shell_starts_.push_back({std::string(file), std::string(parameters), std::string(directory)});
      return shell_result_;
    });
  }

  void TearDown() override {
    platform::SetMessageBoxHook(nullptr);
    platform::SetProcessStartHook(nullptr);
    platform::SetShellStartHook(nullptr);
    SetDebugLogSink(nullptr);
    fs::remove_all(root_);
  }

  std::string ReplacerPath() const { return game_directory_ + "vossarium_exereplace.exe"; }

  fs::path root_;
  std::string game_directory_;
  uint32_t start_error_ = 0;
  intptr_t shell_result_ = 42;
  std::vector<Box> boxes_;
  std::vector<Launch> starts_;
  std::vector<Launch> shell_starts_;
};

std::string Image() {
  return std::string(reinterpret_cast<const char*>(g_replacerImage), g_replacerImageSize);
}

TEST_F(ReplaceClientTest, WritesTheReplacerAnewAndStartsItWithOurCommandLine) {
  // An older, longer copy must not leave its tail behind.
  std::ofstream(ReplacerPath(), std::ios::binary) << std::string(g_replacerImageSize + 100, 'x');
  WriteAndStartReplacer(game_directory_.c_str());
  EXPECT_TRUE(ReadAll(ReplacerPath()) == Image());
  ASSERT_EQ(starts_.size(), 1u);
  EXPECT_EQ(starts_[0].application, ReplacerPath());
  EXPECT_EQ(starts_[0].command_line, platform::CommandLine());
  EXPECT_EQ(starts_[0].directory, game_directory_);
  EXPECT_TRUE(shell_starts_.empty());
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(g_log, (std::vector<std::string>{
                       "[upd] Replacer: '" + ReplacerPath() + "'\n",
                       "[upd] proc path: '" + ReplacerPath() + "'\n",
                       "[upd] game path: '" + game_directory_ + "'\n",
                       "[upd] done.\n",
                   }));
}

TEST_F(ReplaceClientTest, AFailedStartFallsBackToTheShell) {
  struct Case {
    intptr_t shell_result;
    std::vector<std::string> texts;
  } cases[] = {
      {42, {"Unable to finish update process: 000000C1 - gonna try again nicely..."}},
      {2,
       {"Unable to finish update process: 000000C1 - gonna try again nicely...",
        "Unable to finish update process: 00000002 - giving up now."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shell_result);
    boxes_.clear();
    shell_starts_.clear();
    g_log.clear();
    start_error_ = 0xC1;
    shell_result_ = c.shell_result;
    WriteAndStartReplacer(game_directory_.c_str());
    ASSERT_EQ(boxes_.size(), c.texts.size());
    for (size_t i = 0; i < boxes_.size(); ++i) {
      EXPECT_EQ(boxes_[i].text, c.texts[i]);
      EXPECT_EQ(boxes_[i].caption, "Vossarium error!");
      EXPECT_EQ(boxes_[i].flags, 0x10u);
    }
    ASSERT_EQ(shell_starts_.size(), 1u);
    EXPECT_EQ(shell_starts_[0].application, ReplacerPath());
    EXPECT_EQ(shell_starts_[0].command_line, platform::CommandLine());
    EXPECT_EQ(shell_starts_[0].directory, game_directory_);
    ASSERT_EQ(g_log.size(), 6u);
    EXPECT_EQ(g_log[3], "[upd] crpr error: 000000C1\n");
    EXPECT_EQ(g_log[4], "[upd] shellexec: " + std::to_string(c.shell_result) + "\n");
    EXPECT_EQ(g_log[5], "[upd] done.\n");
  }
}

TEST_F(ReplaceClientTest, AReplacerThatCannotBeWrittenIsNotStarted) {
  std::string missing = game_directory_ + "missing" + platform::PathSeparator();
  WriteAndStartReplacer(missing.c_str());
  EXPECT_TRUE(starts_.empty());
  EXPECT_TRUE(shell_starts_.empty());
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text,
            "Unable to finish deploying the game! Make sure you kill all running processes and "
            "try again!");
  EXPECT_EQ(boxes_[0].caption, "");
  EXPECT_EQ(boxes_[0].flags, 0x10u);
  EXPECT_EQ(g_log, (std::vector<std::string>{"[upd] Replacer: '" + missing +
                                             "vossarium_exereplace.exe'\n"}));
}

}  // namespace
