#include "common/debug_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::u16string> g_captured;

void Capture(const char16_t* text) { g_captured.push_back(text); }

class DebugLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_captured.clear();
    SetDebugLogSink(Capture);
  }
  void TearDown() override { SetDebugLogSink(nullptr); }
};

TEST_F(DebugLogTest, WritesExactlyTheFormattedText) {
  DebugLog(u"[update] SaveBigFile\n");
  DebugLog(u"[update] Client not found in bigfile!");
  DebugLog(u"[http] <%08X> Socket (re)open...\n", 0xBEEFu);
  DebugLog(u"[update] AddFile: %S - %d bytes\n", "maps/a.bin", 1234);
  DebugLog(u"[update] %d/%d (%s) - %s\n", 2, 7, u"Vossarium", u"maps/a.bin");
  DebugLog(nullptr);
  EXPECT_EQ(g_captured, (std::vector<std::u16string>{
                            u"[update] SaveBigFile\n",
                            u"[update] Client not found in bigfile!",
                            u"[http] <0000BEEF> Socket (re)open...\n",
                            u"[update] AddFile: maps/a.bin - 1234 bytes\n",
                            u"[update] 2/7 (Vossarium) - maps/a.bin\n",
                        }));
}

TEST_F(DebugLogTest, LongTextIsCutAt40959Characters) {
  std::u16string longText(50000, u'x');
  for (size_t i = 0; i < longText.size(); i += 1000) longText[i] = u'0' + (i / 1000) % 10;
  DebugLog(u"%s", longText.c_str());
  ASSERT_EQ(g_captured.size(), 1u);
  EXPECT_EQ(g_captured[0], longText.substr(0, 40959));
}

TEST_F(DebugLogTest, WithoutSinkGoesToTheDebuggerOutput) {
  SetDebugLogSink(nullptr);
  DebugLog(u"[upd] done.\n");  // must not crash; the text leaves the process
  EXPECT_TRUE(g_captured.empty());
}

TEST(ErrorQueueTest, PushErrorQueuesTextsOldestFirst) {
  ErrorQueue queue;
  queue.PushError(u"[sock] Socket error %d - (%s)", 10061, u"Connection refused");
  queue.PushError(u"[sock] Socket error %d - (%s)", 10060, u"Timed out");
  queue.PushError(nullptr);
  ASSERT_EQ(queue.wideMessages.count, 2);
  EXPECT_EQ(std::u16string(queue.wideMessages[0]),
            u"[sock] Socket error 10061 - (Connection refused)");
  EXPECT_EQ(std::u16string(queue.wideMessages[1]), u"[sock] Socket error 10060 - (Timed out)");
  EXPECT_EQ(queue.narrowMessages.count, 0);
}

TEST(ErrorQueueTest, DestructionStopsReleasingAtANullText) {
  // The text behind the null stays with whoever queued it; under the address
  // sanitizer a release of it would show as a use after free below.
  char16_t* owned = new char16_t[4]{u'a', u'b', u'c', 0};
  {
    ErrorQueue queue;
    queue.PushError(u"first %d", 1);
    queue.wideMessages.Add(nullptr);
    queue.wideMessages.Add(owned);
    char* narrow = new char[2]{'n', 0};
    queue.narrowMessages.Add(narrow);
  }
  EXPECT_EQ(std::u16string(owned), u"abc");
  delete[] owned;
}

TEST(ErrorQueueTest, GlobalQueueExists) {
  int before = g_errorQueue.wideMessages.count;
  g_errorQueue.PushError(u"[sock] Socket error %d - (%s)", 1, u"test");
  EXPECT_EQ(g_errorQueue.wideMessages.count, before + 1);
}

}  // namespace
