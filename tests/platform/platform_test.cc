// The platform layer's files, clock, locks, hooks and error texts, run alike
// natively and under Wine.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace {

bool IsPosix() { return platform::PathSeparator() == '/'; }

// A directory of its own under the temp folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    path_ = std::filesystem::temp_directory_path() /
            ("vossarium_platform_" + std::to_string(platform::CurrentThreadId()) + "_" +
             std::to_string(platform::TickCount32()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const char* name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string ReadAll(const std::string& path) {
  platform::FileHandle file = platform::FileOpenExisting(path.c_str());
  if (!file) return "<missing>";
  std::string data(static_cast<size_t>(platform::FileSize(file)), '\0');
  int64_t n = platform::FileRead(file, data.data(), static_cast<uint32_t>(data.size()));
  platform::FileClose(file);
  if (n != static_cast<int64_t>(data.size())) return "<short read>";
  return data;
}

bool WriteFile(const std::string& path, const std::string& data) {
  platform::FileHandle file = platform::FileCreateTruncate(path.c_str());
  if (!file) return false;
  bool ok = platform::FileWrite(file, data.data(), static_cast<uint32_t>(data.size()));
  platform::FileClose(file);
  return ok;
}

TEST(PlatformFile, WriteSeekReadAndCut) {
  TempDir dir;
  std::string path = dir.File("data.bin");
  platform::FileHandle file = platform::FileCreateTruncate(path.c_str());
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(platform::FileWrite(file, "hello world", 11));
  EXPECT_EQ(platform::FileSize(file), 11);
  EXPECT_EQ(platform::FileSeek(file, 0, platform::SeekOrigin::kCurrent), 11);
  EXPECT_EQ(platform::FileSeek(file, 6, platform::SeekOrigin::kBegin), 6);
  char buffer[16] = {};
  EXPECT_EQ(platform::FileRead(file, buffer, sizeof(buffer)), 5);
  EXPECT_EQ(std::string(buffer, 5), "world");
  EXPECT_EQ(platform::FileRead(file, buffer, sizeof(buffer)), 0);
  EXPECT_EQ(platform::FileSeek(file, -5, platform::SeekOrigin::kEnd), 6);
  EXPECT_EQ(platform::FileSeek(file, -1, platform::SeekOrigin::kBegin), -1);
  EXPECT_EQ(platform::FileSeek(file, 0, platform::SeekOrigin::kCurrent), 6);

  // Positions beyond 4 GiB must not wrap through a 32-bit offset.
  const int64_t far = (int64_t{5} << 30) + 3;
  EXPECT_EQ(platform::FileSeek(file, far, platform::SeekOrigin::kBegin), far);
  ASSERT_TRUE(platform::FileWrite(file, "!", 1));
  EXPECT_EQ(platform::FileSize(file), far + 1);
  EXPECT_EQ(platform::FileSeek(file, -1, platform::SeekOrigin::kCurrent), far);

  EXPECT_EQ(platform::FileSeek(file, 5, platform::SeekOrigin::kBegin), 5);
  EXPECT_TRUE(platform::FileSetEnd(file));
  EXPECT_EQ(platform::FileSize(file), 5);
  EXPECT_TRUE(platform::FileFlush(file));
  platform::FileClose(file);
  EXPECT_EQ(ReadAll(path), "hello");

  // Creating again empties the file.
  file = platform::FileCreateTruncate(path.c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(platform::FileSize(file), 0);
  platform::FileClose(file);
}

TEST(PlatformFile, OpenersShareReadAndWrite) {
  TempDir dir;
  std::string path = dir.File("shared.bin");
  platform::FileHandle writer = platform::FileCreateTruncate(path.c_str());
  ASSERT_NE(writer, nullptr);
  ASSERT_TRUE(platform::FileWrite(writer, "abc", 3));

  platform::FileHandle reader = platform::FileOpenExisting(path.c_str());
  ASSERT_NE(reader, nullptr);
  platform::FileHandle second_writer = platform::FileOpenExisting(path.c_str(), true);
  ASSERT_NE(second_writer, nullptr);
  ASSERT_TRUE(platform::FileWrite(second_writer, "X", 1));
  char buffer[4] = {};
  EXPECT_EQ(platform::FileRead(reader, buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), "Xbc");

  // A file opened for reading only refuses writes.
  EXPECT_FALSE(platform::FileWrite(reader, "y", 1));
  platform::FileClose(second_writer);
  platform::FileClose(reader);
  platform::FileClose(writer);
}

TEST(PlatformFile, MissingFilesAndNullHandles) {
  TempDir dir;
  std::string path = dir.File("missing.bin");
  EXPECT_FALSE(platform::FileExists(path.c_str()));
  EXPECT_EQ(platform::FileOpenExisting(path.c_str()), nullptr);
  EXPECT_EQ(platform::FileOpenExisting(path.c_str(), true), nullptr);
  EXPECT_FALSE(platform::FileRemove(path.c_str()));
  EXPECT_FALSE(platform::FileMoveReplace(path.c_str(), dir.File("other.bin").c_str()));
  EXPECT_EQ(platform::FileOpenExisting(dir.File("").c_str()), nullptr);  // the directory

  char buffer[4];
  EXPECT_EQ(platform::FileRead(nullptr, buffer, 4), -1);
  EXPECT_FALSE(platform::FileWrite(nullptr, "x", 1));
  EXPECT_EQ(platform::FileSeek(nullptr, 0, platform::SeekOrigin::kBegin), -1);
  EXPECT_EQ(platform::FileSize(nullptr), -1);
  EXPECT_FALSE(platform::FileSetEnd(nullptr));
  EXPECT_FALSE(platform::FileFlush(nullptr));
  platform::FileClose(nullptr);
}

TEST(PlatformFile, MoveReplacesAndRemoveDeletes) {
  TempDir dir;
  std::string from = dir.File("new.tmp");
  std::string to = dir.File("game.exe");
  ASSERT_TRUE(WriteFile(from, "new contents"));
  ASSERT_TRUE(WriteFile(to, "old"));
  EXPECT_TRUE(platform::FileMoveReplace(from.c_str(), to.c_str()));
  EXPECT_FALSE(platform::FileExists(from.c_str()));
  EXPECT_EQ(ReadAll(to), "new contents");

  // Onto a name that does not exist yet.
  std::string third = dir.File("third.exe");
  EXPECT_TRUE(platform::FileMoveReplace(to.c_str(), third.c_str()));
  EXPECT_EQ(ReadAll(third), "new contents");
  EXPECT_TRUE(platform::FileMakeExecutable(third.c_str()));

  EXPECT_TRUE(platform::FileExists(third.c_str()));
  EXPECT_TRUE(platform::FileRemove(third.c_str()));
  EXPECT_FALSE(platform::FileExists(third.c_str()));
}

TEST(PlatformTime, TickCountMovesForwardAcrossSleep) {
  uint32_t before = platform::TickCount32();
  platform::SleepMs(100);
  uint32_t elapsed = platform::TickCount32() - before;  // wraps correctly
  EXPECT_GE(elapsed, 50u);
  EXPECT_LT(elapsed, 60000u);
}

TEST(PlatformThreads, ThreadIdsDiffer) {
  uint32_t main_id = platform::CurrentThreadId();
  uint32_t other_id = 0;
  std::thread([&] { other_id = platform::CurrentThreadId(); }).join();
  EXPECT_NE(main_id, 0u);
  EXPECT_NE(main_id, other_id);
  EXPECT_EQ(main_id, platform::CurrentThreadId());
}

TEST(PlatformThreads, CompareExchangeAnswersOldValue) {
  volatile int32_t value = 5;
  EXPECT_EQ(platform::AtomicCompareExchange(&value, 9, 4), 5);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(platform::AtomicCompareExchange(&value, 9, 5), 5);
  EXPECT_EQ(value, 9);
  EXPECT_EQ(platform::AtomicCompareExchange(&value, -1, 9), 9);
  EXPECT_EQ(value, -1);

  // Many threads counting through it lose no increment.
  volatile int32_t counter = 0;
  std::thread threads[4];
  for (auto& t : threads) {
    t = std::thread([&] {
      for (int i = 0; i < 10000; ++i) {
        int32_t seen;
        do {
          seen = counter;
        } while (platform::AtomicCompareExchange(&counter, seen + 1, seen) != seen);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40000);
}

TEST(PlatformThreads, CriticalSectionIsRecursiveAndExcludesOthers) {
  platform::CriticalSection section;
  section.Enter();
  section.Enter();  // the same thread again: must not deadlock
  section.Leave();

  std::atomic<bool> entered{false};
  std::thread other([&] {
    section.Enter();
    entered = true;
    section.Leave();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(entered.load()) << "still held once by this thread";
  section.Leave();
  other.join();
  EXPECT_TRUE(entered.load());
}

TEST(PlatformDialogs, HooksReplaceMessageBoxShellAndLibraryProbe) {
  std::string seen_text, seen_caption;
  uint32_t seen_flags = 0;
  platform::SetMessageBoxHook([&](std::string_view text, std::string_view caption, uint32_t flags) {
    seen_text = text;
    seen_caption = caption;
    seen_flags = flags;
    return platform::kIdRetry;
  });
  EXPECT_EQ(
      platform::ShowMessageBox("text", "caption", platform::kMbYesNo | platform::kMbIconWarning),
      platform::kIdRetry);
  EXPECT_EQ(seen_text, "text");
  EXPECT_EQ(seen_caption, "caption");
  EXPECT_EQ(seen_flags, 0x34u);

  // The wide box hands the hook UTF-8.
  EXPECT_EQ(platform::ShowMessageBoxW(u"Caf\u00E9 \U0001F600", u"Unable to update",
                                      platform::kMbAbortRetryIgnore | platform::kMbIconError),
            platform::kIdRetry);
  EXPECT_EQ(seen_text, "Caf\xC3\xA9 \xF0\x9F\x98\x80");
  EXPECT_EQ(seen_caption, "Unable to update");
  EXPECT_EQ(seen_flags, 0x12u);
  platform::SetMessageBoxHook(nullptr);

  std::string opened;
  platform::SetShellOpenHook([&](std::string_view address) {
    opened = address;
    return true;
  });
  EXPECT_TRUE(platform::ShellOpen("http://example.invalid/Redirect:Latest_DirectX"));
  EXPECT_EQ(opened, "http://example.invalid/Redirect:Latest_DirectX");
  platform::SetShellOpenHook(nullptr);

  std::string probed;
  platform::SetLibraryHook([&](std::string_view name) {
    probed = name;
    return false;
  });
  EXPECT_FALSE(platform::LibraryExists("d3dx9_39.dll"));
  EXPECT_EQ(probed, "d3dx9_39.dll");
  platform::SetLibraryHook(nullptr);
}

TEST(PlatformDialogs, LibraryProbeLoadsAndReleases) {
  // A Windows library exists under Windows and counts as present elsewhere.
  EXPECT_TRUE(platform::LibraryExists("kernel32.dll"));
  EXPECT_FALSE(platform::LibraryExists("vossarium_no_such_library"));
  if (IsPosix()) {
    EXPECT_TRUE(platform::LibraryExists("libc.so.6"));
  }
}

TEST(PlatformProcess, ModulePathAndCommandLine) {
  std::string module = platform::ModulePath();
  EXPECT_NE(module.find("platform_tests"), std::string::npos) << module;
  std::string args = platform::CommandLineArgs();
  EXPECT_TRUE(args.empty() || (args[0] != ' ' && args[0] != '\t')) << args;
  if (!IsPosix()) return;

  // Quoted so that the Windows parser reads back the same arguments.
  char arg0[] = "prog", arg1[] = "plain", arg2[] = "two words", arg3[] = "say \"hi\"",
       arg4[] = "C:\\dir with blank\\", arg5[] = "", arg6[] = "a\\\\b";
  char* argv[] = {arg0, arg1, arg2, arg3, arg4, arg5, arg6};
  platform::SetCommandLine(7, argv);
  EXPECT_EQ(platform::CommandLineArgs(),
            "plain \"two words\" \"say \\\"hi\\\"\" \"C:\\dir with blank\\\\\" \"\" a\\\\b");
  platform::SetCommandLine(1, argv);
  EXPECT_EQ(platform::CommandLineArgs(), "");
}

TEST(PlatformText, SystemErrorText) {
  // 2 is "file not found" on Windows and ENOENT on POSIX.
  EXPECT_FALSE(platform::SystemErrorText(2).empty());
  EXPECT_TRUE(platform::SystemErrorText(0x7FFF1234u).empty());
}

TEST(PlatformText, DebugOutputGoesOutExactly) {
  if (!IsPosix()) {
    platform::DebugOutput(u"[test] debug output\n");  // checked through the capture tool
    return;
  }
  testing::internal::CaptureStderr();
  platform::DebugOutput(u"[update] Caf\u00E9 \U0001F600");
  platform::DebugOutput(u"");
  platform::DebugOutput(u" and on\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "[update] Caf\xC3\xA9 \xF0\x9F\x98\x80 and on\n");
}

}  // namespace
