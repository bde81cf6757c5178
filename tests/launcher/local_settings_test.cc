#include "launcher/local_settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive/big_file.h"
#include "platform/platform.h"

namespace {

class LocalSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "local_settings_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".kbf";
    platform::FileRemove(path_.c_str());
  }
  void TearDown() override { platform::FileRemove(path_.c_str()); }

  std::string Entry(Parlo_BigFile* archive) {
    int64_t length = archive->GetFileLength("_localSettings");
    if (length < 0) return "<missing>";
    std::string bytes(static_cast<size_t>(length), '?');
    archive->ExtractFile("_localSettings", bytes.data());
    return bytes;
  }

  std::string path_;
};

TEST_F(LocalSettings, StoresTheLanguageAsHexTextWithItsNul) {
  struct Case {
    int32_t language;
    std::string text;
  } cases[] = {
      {12, std::string("#defaultLanguage=ic\0", 20)},
      {0, std::string("#defaultLanguage=i0\0", 20)},
      {-1, std::string("#defaultLanguage=iffffffff\0", 27)},
  };
  for (const Case& c : cases) {
    Parlo_BigFile archive;
    OpenOrCreateBigFile(&archive, path_.c_str());
    StoreLanguage(&archive, c.language);

    Parlo_BigFile reopened;
    ASSERT_TRUE(reopened.LoadBigFile(path_.c_str()));
    EXPECT_EQ(Entry(&reopened), c.text) << c.language;
    EXPECT_EQ(ReadLanguage(&reopened), c.language);
  }
}

TEST_F(LocalSettings, ReplacesTheWholeEntry) {
  Parlo_BigFile archive;
  OpenOrCreateBigFile(&archive, path_.c_str());
  const char old_settings[] = "#defaultLanguage=i3#volume=i7";
  archive.AddFile("_localSettings", old_settings, sizeof(old_settings), kBigFileReplace);
  ASSERT_TRUE(archive.SaveBigFile());
  EXPECT_EQ(ReadLanguage(&archive), 3);

  StoreLanguage(&archive, 5);
  EXPECT_EQ(Entry(&archive), std::string("#defaultLanguage=i5\0", 20));
}

TEST_F(LocalSettings, MissingEmptyOrForeignSettingsReadAsZero) {
  Parlo_BigFile archive;
  OpenOrCreateBigFile(&archive, path_.c_str());
  EXPECT_EQ(ReadLanguage(&archive), 0);

  // Without its NUL byte the text still ends where the entry does.
  const char no_key[] = {'#', 'v', 'o', 'l', 'u', 'm', 'e', '=', 'i', '7'};
  archive.AddFile("_localSettings", no_key, sizeof(no_key), kBigFileReplace);
  ASSERT_TRUE(archive.SaveBigFile());
  EXPECT_EQ(ReadLanguage(&archive), 0);

  const char unterminated[] = {'#', 'd', 'e', 'f', 'a', 'u', 'l', 't', 'L', 'a',
                               'n', 'g', 'u', 'a', 'g', 'e', '=', 'i', '1', 'a'};
  archive.AddFile("_localSettings", unterminated, sizeof(unterminated), kBigFileReplace);
  ASSERT_TRUE(archive.SaveBigFile());
  EXPECT_EQ(ReadLanguage(&archive), 26);
}

TEST_F(LocalSettings, AnUnreadableFileIsReplacedByAnEmptyArchive) {
  FILE* junk = std::fopen(path_.c_str(), "wb");
  ASSERT_NE(junk, nullptr);
  std::fputs("not an archive", junk);
  std::fclose(junk);

  Parlo_BigFile archive;
  OpenOrCreateBigFile(&archive, path_.c_str());
  EXPECT_EQ(archive.count, 0);
  Parlo_BigFile reopened;
  EXPECT_TRUE(reopened.LoadBigFile(path_.c_str()));
}

}  // namespace
