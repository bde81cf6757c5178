// The download routine's progress report and the front end it reports to.
#include <gtest/gtest.h>

#include "net/fendu_download.h"
#include "tests/net/fake_update.h"

TEST(DownloadProgressTest, AddsEarlierFilesAndShowsMegabytes) {
  FakeUpdate frontEnd;
  frontEnd.SetProgressRange(4 * 1024 * 1024);
  g_downloaded = 1024 * 1024;
  DownloadProgress(512 * 1024, 999, &frontEnd);
  g_downloaded = 0;
  ASSERT_EQ(frontEnd.positions.size(), 1u);
  EXPECT_EQ(frontEnd.positions[0], 1536u * 1024);
  ASSERT_EQ(frontEnd.statuses.size(), 1u);
  EXPECT_EQ(frontEnd.statuses[0], "update_downloadingbytes 1.5000 4.0000");
}

TEST(DownloadProgressTest, NoFrontEndNoCalls) {
  DownloadProgress(10, 20, nullptr);  // must simply return
}

TEST(FenduUpdateTest, RegistersTheMainArchive) {
  FakeUpdate frontEnd;
  EXPECT_EQ(frontEnd.GetBigFile(Parlo_StringW(u"Layers")), nullptr);
  EXPECT_STREQ(frontEnd.GetGameDirectory().Buffer(), "dir/");
  EXPECT_FALSE(frontEnd.ForceClientCheck());
  EXPECT_EQ(frontEnd.GetClientId(), 0);
}
