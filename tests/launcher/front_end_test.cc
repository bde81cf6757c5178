#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/startup.h"
#include "launcher/update_console.h"
#include "launcher/update_winapi.h"
#include "net/http.h"

#ifndef _WIN32
#include <csignal>
#endif

namespace {

// Records what the front end does to its window instead of showing one.
class FakeWindow final : public Fendu_UpdateWindowDriver {
 public:
  void* Open(void*) override { return opens ? this : nullptr; }
  void Destroy(void*) override { calls.push_back("destroy"); }
  void Pump(void*) override { calls.push_back("pump"); }
  void SetStatusText(void*, const char16_t* text) override {
    status = text;
    calls.push_back("status");
  }
  void SetTitle(void*, const char16_t* text) override {
    title = text;
    calls.push_back("title");
  }
  void SetPosition(void*, uint32_t position) override { bar = position; }
  void SetRange(void*, uint32_t range) override {
    barRange = range;
    bar = 0;
  }

  bool opens = true;
  std::u16string status;
  std::u16string title;
  uint32_t bar = 0;
  uint32_t barRange = 0;
  std::vector<std::string> calls;
};

class WindowFrontEnd : public ::testing::Test {
 protected:
  WindowFrontEnd() : update(nullptr, Parlo_String("game/"), Parlo_String("http://x/")) {
    update.driver = &window;
    update.OpenWindow();
  }
  ~WindowFrontEnd() override { g_windowActive = true; }

  FakeWindow window;
  Fendu_Update_WINAPI update;
};

TEST_F(WindowFrontEnd, EachKeyShowsItsTextFormattedWithTheArguments) {
  update.SetStatus(u"update_retry", 3, 20);
  EXPECT_EQ(window.status, u"Connection failed - retrying 3 (out of 20)");
  update.SetStatus(u"update_downloadingbytes", 1.5, 1024.0 * 1024.0 * 1024.0 * 4 / 1048576.0);
  EXPECT_EQ(window.status, u"Downloading 1.50 MB of 4096.00 MB");
  update.SetStatus(u"update_connecting");
  EXPECT_EQ(window.status, u"Connecting to dataserver...");
  update.SetStatus(u"update_finished");
  EXPECT_EQ(window.status, u"Update finished!");
  EXPECT_EQ(window.calls.back(), "pump");
}

TEST_F(WindowFrontEnd, InactiveTitleShowsTruncatedPercentAndText) {
  struct Case {
    uint32_t position;
    uint32_t range;
    const char16_t* title;
  } cases[] = {
      {512, 1024, u"50% - Update finished!"},
      {1023, 1024, u"99% - Update finished!"},
      {1024, 1024, u"100% - Update finished!"},
      {600, 0, u"0% - Update finished!"},  // before any range is set
      // position * 100 needs 64 bits here.
      {4000000000u, 4000000001u, u"99% - Update finished!"},
      {4294967295u, 4294967295u, u"100% - Update finished!"},
  };
  g_windowActive = false;
  for (const Case& c : cases) {
    update.SetProgressRange(c.range);
    update.SetProgress(c.position);
    update.SetStatus(u"update_finished");
    EXPECT_EQ(window.title, c.title) << c.position << " of " << c.range;
  }
}

TEST_F(WindowFrontEnd, ActiveTitleIsTheWindowNameWhateverTheProgress) {
  update.SetProgressRange(1024);
  update.SetProgress(512);
  update.SetStatus(u"update_retry", 1, 20);
  EXPECT_EQ(window.title, u"Vossarium Updater");
}

TEST_F(WindowFrontEnd, UnknownKeyChangesNothingAndPumpsNothing) {
  update.SetStatus(u"update_finished");
  window.calls.clear();
  update.SetStatus(u"no_such_key", 1, 2);
  update.SetStatus(u"Update_Finished");
  update.SetStatus(u"update_finished ");
  EXPECT_TRUE(window.calls.empty());
  EXPECT_EQ(window.status, u"Update finished!");
}

TEST_F(WindowFrontEnd, RangeAfterPositionResetsTheBarButKeepsThePosition) {
  update.SetProgress(600);
  EXPECT_EQ(window.bar, 600u);
  update.SetProgressRange(1000);
  EXPECT_EQ(window.bar, 0u);
  EXPECT_EQ(window.barRange, 1000u);
  EXPECT_EQ(update.GetProgressPosition(), 600u);
  EXPECT_EQ(update.GetProgressRange(), 1000u);
}

TEST_F(WindowFrontEnd, NumbersTheServerSeesAndTheDeployRule) {
  EXPECT_EQ(update.GetClientId(), 0);
  EXPECT_EQ(update.GetLanguage(), g_language);
  EXPECT_TRUE(update.ForceClientCheck());
}

TEST(WindowFrontEndWithoutWindow, RunsOnWhenTheDialogCannotBeCreated) {
  FakeWindow window;
  window.opens = false;
  Fendu_Update_WINAPI update(nullptr, Parlo_String("game/"), Parlo_String("http://x/"));
  update.driver = &window;
  EXPECT_TRUE(update.OpenWindow());
  update.SetProgressRange(10);
  update.SetProgress(5);
  update.SetStatus(u"update_finished");
  EXPECT_TRUE(update.CloseWindow());
  EXPECT_TRUE(window.calls.empty());
  EXPECT_EQ(update.GetProgressPosition(), 5u);
}

TEST(WindowFrontEndClose, DestroysTheWindowOnce) {
  FakeWindow window;
  Fendu_Update_WINAPI update(nullptr, Parlo_String("game/"), Parlo_String("http://x/"));
  update.driver = &window;
  update.OpenWindow();
  update.CloseWindow();
  update.CloseWindow();
  update.SetStatus(u"update_finished");
  EXPECT_EQ(window.calls, std::vector<std::string>{"destroy"});
}

// ---- Console ---------------------------------------------------------------

class ConsoleFrontEnd : public ::testing::Test {
 protected:
  Fendu_Update_Console Make(bool terminal) {
    Fendu_Update_Console::Output output;
    output.write = [this](std::string_view text) { written += text; };
    output.terminal = terminal;
    output.clock = [this] { return now; };
    return Fendu_Update_Console(nullptr, Parlo_String("game/"), Parlo_String("http://x/"), output);
  }
  // One download of `total` bytes reported in steps of `step`, as the
  // download's progress report does it.
  static void Download(Fendu_Update& update, uint32_t total, uint32_t step) {
    for (uint32_t done = 0; done <= total; done += step) {
      update.SetProgress(done);
      update.SetStatus(u"update_downloadingbytes", done / 1048576.0, total / 1048576.0);
    }
  }
  ~ConsoleFrontEnd() override { g_updateCancelled = false; }

  std::string written;
  uint32_t now = 1000;
};

TEST_F(ConsoleFrontEnd, PlainOutputHasALinePerStatusAndDownloadsByTenths) {
  Fendu_Update_Console update = Make(false);
  update.OpenWindow();
  update.SetStatus(u"update_connecting");
  update.SetStatus(u"no_such_key");
  update.SetProgressRange(1048576);
  Download(update, 1048576, 1024);  // 1025 progress reports
  update.SetStatus(u"update_retry", 1, 20);
  update.SetStatus(u"update_retry", 2, 20);
  update.SetStatus(u"update_finished");
  update.CloseWindow();

  std::string expected = "Connecting to dataserver...\n";
  for (int tenth = 0; tenth <= 10; ++tenth) {
    // The first report of each tenth: 1024 * ceil(tenth * 1024 / 10) bytes.
    uint32_t done = 1024 * ((tenth * 1024 + 9) / 10);
    char line[80];
    std::snprintf(line, sizeof(line), "Downloading %.2f MB of 1.00 MB (%d%%)\n", done / 1048576.0,
                  static_cast<int>(uint64_t{done} * 100 / 1048576));
    expected += line;
  }
  expected +=
      "Connection failed - retrying 1 (out of 20)\n"
      "Connection failed - retrying 2 (out of 20)\n"
      "Update finished!\n";
  EXPECT_EQ(written, expected);
}

TEST_F(ConsoleFrontEnd, TerminalRedrawsOneLineAtMostTenTimesASecondAndEndsIt) {
  Fendu_Update_Console update = Make(true);
  update.OpenWindow();
  update.SetStatus(u"update_connecting");
  update.SetProgressRange(1048576);
  Download(update, 1048576, 1024);  // all at the same moment: one redraw
  size_t redraws = 0;
  for (char c : written) redraws += c == '\r';
  EXPECT_EQ(redraws, 2u);
  EXPECT_EQ(written.find("100%"), std::string::npos);

  now += Fendu_Update_Console::kRedrawIntervalMs;
  update.SetStatus(u"update_downloadingbytes", 1.0, 1.0);
  update.SetStatus(u"update_finished");
  update.CloseWindow();
  EXPECT_NE(
      written.find("\rDownloading 1.00 MB of 1.00 MB [##############################] 100%\n"),
      std::string::npos)
      << written;
  // The shorter line wipes the longer one before it.
  EXPECT_NE(written.find("\rUpdate finished!"), std::string::npos);
  EXPECT_EQ(written.back(), '\n');
}

TEST_F(ConsoleFrontEnd, TheLastHeldBackStateIsShownBeforeTheNextStatus) {
  Fendu_Update_Console update = Make(true);
  update.SetProgressRange(100);
  update.SetProgress(10);
  update.SetStatus(u"update_downloadingbytes", 0.5, 4.0);
  update.SetProgress(100);
  update.SetStatus(u"update_downloadingbytes", 4.0, 4.0);  // held back: same moment
  update.SetStatus(u"update_retry", 1, 20);
  EXPECT_NE(written.find("Downloading 4.00 MB of 4.00 MB"), std::string::npos) << written;
  EXPECT_NE(written.find("100%\n\rConnection failed"), std::string::npos) << written;
}

TEST_F(ConsoleFrontEnd, ACancelRequestStopsTheTransferAndIsShownOnce) {
  Fendu_Update_Console update = Make(false);
  RequestUpdateCancel();
  EXPECT_TRUE(update.IsCancelled());
  update.SetStatus(u"update_retry", 1, 20);
  EXPECT_TRUE(update.IsCancelled());
  EXPECT_EQ(written, "Wait...\nConnection failed - retrying 1 (out of 20)\n");
  // The transfer stops at its next check.
  EXPECT_EQ(g_http.ReadHead(), -2);
}

#ifndef _WIN32
TEST_F(ConsoleFrontEnd, CtrlCDoesWhatTheCancelButtonDoes) {
  Fendu_Update_Console update = Make(false);
  update.OpenWindow();
  EXPECT_FALSE(update.IsCancelled());
  std::raise(SIGINT);
  EXPECT_TRUE(g_updateCancelled);
  EXPECT_EQ(g_http.ReadHead(), -2);
  // Closing gives Ctrl-C back to the system.
  update.CloseWindow();
}
#endif

TEST_F(ConsoleFrontEnd, NumbersAndDeployRuleMatchTheWindow) {
  Fendu_Update_Console update = Make(false);
  EXPECT_EQ(update.GetClientId(), 0);
  EXPECT_EQ(update.GetLanguage(), g_language);
  EXPECT_TRUE(update.ForceClientCheck());
}

}  // namespace
