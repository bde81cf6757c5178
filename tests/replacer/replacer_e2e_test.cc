// Real runs of the built replacer: a stand-in game waits in "Vossarium.tmp",
// the replacer swaps it in and starts it, and the stand-in reports the command
// line it received. Every run here takes a path that shows no message box.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "launcher/replace_client.h"
#include "launcher/replacer_image.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace {

namespace fs = std::filesystem;

// The build writes POSIX paths; the Windows build runs under Wine, which shows
// the POSIX root as drive Z:.
std::string NativePath(std::string path) {
  if (platform::PathSeparator() == '/') return path;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return "Z:" + path;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class ReplacerRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string own = platform::ModulePath();
    // A blank in the folder name makes the first token of the command line need quotes.
    dir_ = fs::path(own.substr(0, own.rfind(platform::PathSeparator()) + 1)) / "replacer e2e" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    game_directory_ = dir_.string() + platform::PathSeparator();
    replacer_ = NativePath(VOSSARIUM_TEST_REPLACER);
    standin_ = ReadAll(NativePath(VOSSARIUM_TEST_STANDIN));
    ASSERT_FALSE(standin_.empty());
    // The updater would never get this far if it showed a box; neither may the test.
    platform::SetMessageBoxHook([](std::string_view text, std::string_view, uint32_t) {
      ADD_FAILURE() << "message box: " << text;
      return platform::kIdAbort;
    });
  }

  void TearDown() override {
    platform::SetMessageBoxHook(nullptr);
    if (!HasFailure()) fs::remove_all(dir_);
  }

  void PutProgram(const std::string& name) {
    std::string path = game_directory_ + name;
    WriteAll(path, standin_);
    platform::FileMakeExecutable(path.c_str());
  }

  // The text a stand-in wrote into `name`, once it has written it. Under Wine
  // the stand-in's rename keeps a handle with delete access open for a moment
  // after the name appears, and opening the file then fails with a sharing
  // violation, so the file is read only once it opens.
  std::string Await(const char* name) {
    fs::path file = dir_ / name;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      if (fs::exists(file)) {
        std::ifstream in(file, std::ios::binary);
        if (in.is_open()) {
          return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "no stand-in wrote " << name;
    return {};
  }

  // The command line the started game received.
  std::string AwaitReceived() { return Await("standin_received.txt"); }

  std::string GameCommandLine() const {
    return "\"" + game_directory_ + "Vossarium.exe\" -x 1 \"a b\"";
  }

  void StartReplacer(const std::string& command_line) {
    std::string copy = game_directory_ + kReplacerFileName;
    fs::copy_file(replacer_, copy);
    platform::FileMakeExecutable(copy.c_str());
    uint32_t error = 0;
    ASSERT_TRUE(
        platform::StartProcess(copy.c_str(), command_line.c_str(), game_directory_.c_str(), &error))
        << error;
  }

  fs::path dir_;
  std::string game_directory_;
  std::string replacer_;
  std::string standin_;
};

TEST_F(ReplacerRunTest, SwapsInTheNewGameAndHandsOnTheCommandLineByteForByte) {
  PutProgram("Vossarium.tmp");
  WriteAll(dir_ / "Vossarium.exe", "the old game");
  StartReplacer(GameCommandLine());
  EXPECT_EQ(AwaitReceived(), GameCommandLine());
  EXPECT_FALSE(fs::exists(dir_ / "Vossarium.tmp"));
  EXPECT_TRUE(ReadAll(dir_ / "Vossarium.exe") == standin_);
}

TEST_F(ReplacerRunTest, WithoutANewGameOnlyStartsTheOldOne) {
  PutProgram("Vossarium.exe");
  StartReplacer(GameCommandLine());
  EXPECT_EQ(AwaitReceived(), GameCommandLine());
  EXPECT_TRUE(ReadAll(dir_ / "Vossarium.exe") == standin_);
}

TEST_F(ReplacerRunTest, WaitsForTheRunningGameToEndBeforeTheSwap) {
  PutProgram("Vossarium.exe");
  PutProgram("Vossarium.tmp");
  std::string game = game_directory_ + "Vossarium.exe";
  std::string linger = "\"" + game + "\" --linger";
  uint32_t error = 0;
  ASSERT_TRUE(platform::StartProcess(game.c_str(), linger.c_str(), game_directory_.c_str(), &error))
      << error;
  Await("standin_started.txt");
  StartReplacer(GameCommandLine());
  EXPECT_EQ(AwaitReceived(), GameCommandLine());
  EXPECT_TRUE(fs::exists(dir_ / "standin_lingered.txt")) << "the game was replaced while it ran";
  EXPECT_FALSE(fs::exists(dir_ / "Vossarium.tmp"));
}

TEST_F(ReplacerRunTest, TheShellStartsAProgramOrAnswersBelow32) {
  PutProgram("Vossarium.exe");
  std::string game = game_directory_ + "Vossarium.exe";
  EXPECT_GT(platform::ShellStart(game.c_str(), "-x 1 \"a b\"", game_directory_.c_str()), 32);
  EXPECT_NE(AwaitReceived().find("-x 1 \"a b\""), std::string::npos);
  std::string missing = game_directory_ + "missing.exe";
  EXPECT_LE(platform::ShellStart(missing.c_str(), "", game_directory_.c_str()), 32);
}

TEST_F(ReplacerRunTest, TheUpdatersHandOverEndsInTheNewGame) {
  // The embedded image is the replacer the build made, byte for byte.
  std::string built = ReadAll(replacer_);
  ASSERT_EQ(built.size(), g_replacerImageSize);
  EXPECT_TRUE(built ==
              std::string(reinterpret_cast<const char*>(g_replacerImage), g_replacerImageSize));

  PutProgram("Vossarium.tmp");
  WriteAll(dir_ / "Vossarium.exe", "the old game");
  WriteAndStartReplacer(game_directory_.c_str());
  EXPECT_TRUE(ReadAll(dir_ / kReplacerFileName) == built);
  EXPECT_EQ(AwaitReceived(), platform::CommandLine());
  EXPECT_FALSE(fs::exists(dir_ / "Vossarium.tmp"));
  EXPECT_TRUE(ReadAll(dir_ / "Vossarium.exe") == standin_);
}

}  // namespace
