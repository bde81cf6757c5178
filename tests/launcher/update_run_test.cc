#include "launcher/update_run.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/big_file.h"
#include "common/random.h"
#include "common/typed_text.h"
#include "launcher/fendu_update.h"
#include "platform/platform.h"

namespace {

// A front end that shows nothing, for the decisions of the run.
class QuietFrontEnd : public Fendu_Update {
 public:
  QuietFrontEnd(Parlo_BigFile* main, const char* url) : Fendu_Update(main, "", url) {}
  bool OpenWindow() override { return true; }
  bool CloseWindow() override { return true; }
  void SetProgress(uint32_t value) override { position = value; }
  void SetProgressRange(uint32_t value) override { range = value; }
  void SetStatus(const char16_t*, ...) override {}
  void ReplaceClient() override {}
  bool IsCancelled() override { return false; }
  int32_t GetLanguage() override { return 3; }
};

std::vector<uint8_t> Packed(const std::string& plain, uint32_t announced) {
  uLongf bound = compressBound(plain.size());
  std::vector<uint8_t> body(4 + bound);
  for (int i = 0; i < 4; ++i) body[i] = uint8_t(announced >> (8 * i));
  compress(body.data() + 4, &bound, reinterpret_cast<const Bytef*>(plain.data()), plain.size());
  body.resize(4 + bound);
  return body;
}

TEST(UnpackResource, AcceptsOnlyABodyThatUnpacksToItsAnnouncedLength) {
  std::string plain(1000, 'x');
  std::vector<uint8_t> good = Packed(plain, 1000);
  std::vector<uint8_t> damaged = good;
  damaged[damaged.size() / 2] ^= 0x55;
  std::vector<uint8_t> dishonest = Packed("abc", 0xFFFFFFF0u);
  struct Case {
    const char* what;
    std::vector<uint8_t> body;
    UnpackResult result;
  } cases[] = {
      {"honest", good, UnpackResult::kOk},
      {"zero length", Packed(plain, 0), UnpackResult::kZeroLength},
      {"announces less", Packed(plain, 999), UnpackResult::kFailed},
      {"announces more", Packed(plain, 1001), UnpackResult::kFailed},
      {"beyond what zlib can expand to", dishonest, UnpackResult::kFailed},
      {"damaged stream", damaged, UnpackResult::kFailed},
      {"shorter than its prefix", {1, 2, 3}, UnpackResult::kFailed},
  };
  for (const Case& c : cases) {
    std::unique_ptr<uint8_t[]> out;
    uint32_t length = 0;
    EXPECT_EQ(UnpackResource(c.body.data(), uint32_t(c.body.size()), &out, &length), c.result)
        << c.what;
    if (c.result == UnpackResult::kOk) {
      ASSERT_EQ(length, 1000u);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(out.get()), length), plain);
    }
  }
}

// The run's buffer lives across resources: a smaller resource reuses the block,
// a larger one grows it, and a failed body leaves it usable for the next.
TEST(UnpackResource, ReusedBufferHoldsEachResourceExactly) {
  UnpackBuffer buffer;
  uint32_t length = 0;
  std::string sequence[] = {std::string(5000, 'a'), std::string(300, 'b'), std::string(9000, 'c')};
  std::vector<uint8_t> broken = Packed(std::string(8000, 'd'), 7999);
  for (const std::string& plain : sequence) {
    std::vector<uint8_t> body = Packed(plain, uint32_t(plain.size()));
    ASSERT_EQ(UnpackResource(body.data(), uint32_t(body.size()), &buffer, &length),
              UnpackResult::kOk);
    ASSERT_EQ(length, plain.size());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.block.get()), length), plain);
    EXPECT_GE(buffer.capacity, length);
    EXPECT_EQ(UnpackResource(broken.data(), uint32_t(broken.size()), &buffer, &length),
              UnpackResult::kFailed);
  }
  EXPECT_EQ(buffer.capacity, 9000u);
}

class UpdateDecision : public ::testing::Test {
 protected:
  void SetUp() override {
    main_path_ = ::testing::TempDir() + "decision_main.kbf";
    layers_path_ = ::testing::TempDir() + "decision_layers.kbf";
    for (auto* path : {&main_path_, &layers_path_}) {
      platform::FileRemove(path->c_str());
    }
    main_.CreateBigFile(main_path_.c_str());
    ASSERT_TRUE(main_.LoadBigFile(main_path_.c_str()));
    layers_.CreateBigFile(layers_path_.c_str());
    ASSERT_TRUE(layers_.LoadBigFile(layers_path_.c_str()));
  }
  void TearDown() override {
    platform::FileRemove(main_path_.c_str());
    platform::FileRemove(layers_path_.c_str());
  }

  void Store(Parlo_BigFile* archive, const char* name, uint32_t version, int32_t language,
             const std::string& bytes = "data") {
    archive->AddFile(name, bytes.data(), uint32_t(bytes.size()), kBigFileReplace);
    uint8_t* tag = archive->GetFileTag(name);
    std::memcpy(tag + 4, &version, 4);
    std::memcpy(tag + 8, &language, 4);
    tag[12] = 1;
    ASSERT_TRUE(archive->SaveBigFile());
  }

  static Parlo_TypedText Fields(const char16_t* text) {
    std::u16string s(text);
    return Parlo_TypedText(s.c_str(), int32_t(s.size()));
  }

  Parlo_BigFile main_, layers_;
  std::string main_path_, layers_path_;
};

TEST_F(UpdateDecision, ComparesVersionUnsignedAndNeverDowngrades) {
  QuietFrontEnd front(&main_, "http://x/");
  Store(&main_, "five", 5, 0);
  Store(&main_, "one", 1, 0);
  struct Case {
    const char16_t* name;
    const char16_t* fields;
    bool needed;
  } cases[] = {
      {u"five", u"#version=i5#language=i0", false},
      {u"five", u"#version=i6#language=i0", true},
      {u"five", u"#version=i4#language=i0", false},
      {u"one", u"#version=iffffffff#language=i0", true},
      {u"absent", u"#version=i1#language=i0", true},
  };
  for (const Case& c : cases) {
    Parlo_TypedText fields = Fields(c.fields);
    EXPECT_EQ(front.NeedsUpdate(c.name, fields.root, u"Vossarium"), c.needed)
        << std::string(Parlo_String(c.name).Buffer()) << " " << Parlo_String(c.fields).Buffer();
  }
  EXPECT_EQ(main_.GetFileTag("five")[12], 0) << "the check clears the installed flag in memory";
}

TEST_F(UpdateDecision, AnotherLanguageIsRemovedAndDownloaded) {
  QuietFrontEnd front(&main_, "http://x/");
  Store(&main_, "speech", 5, 1);
  Parlo_TypedText fields = Fields(u"#version=i5#language=i2");
  EXPECT_TRUE(front.NeedsUpdate(u"speech", fields.root, u"Vossarium"));
  EXPECT_FALSE(main_.FileExists("speech"));
}

TEST_F(UpdateDecision, TargetsFallBackToTheMainArchive) {
  QuietFrontEnd front(&main_, "http://x/");
  front.RegisterBigFile(u"Layers", &layers_);
  EXPECT_EQ(front.GetBigFile(u"Layers"), &layers_);
  EXPECT_EQ(front.GetBigFile(u"Vossarium"), &main_);
  EXPECT_EQ(front.GetBigFile(u"layers"), &main_);
  EXPECT_EQ(front.GetBigFile(u"Elsewhere"), &main_);

  Store(&layers_, "sky", 2, 0);
  Parlo_TypedText fields = Fields(u"#version=i2#language=i0");
  EXPECT_FALSE(front.NeedsUpdate(u"sky", fields.root, u"Layers"));
  EXPECT_TRUE(front.NeedsUpdate(u"sky", fields.root, u"Vossarium"));
}

TEST(ResourceList, RequestCarriesLanguageClientAndFirg) {
  Parlo_BigFile unused;
  QuietFrontEnd front(&unused, "http://updates.example/");
  EXPECT_STREQ(ResourceListAddress(&front, 32767).Buffer(),
               "http://updates.example/resource.002.php?language=3&client=0&firg=32767");
}

TEST(ResourceList, OneMirrorIsChosenByTheNextDraw) {
  Parlo_BigFile unused;
  QuietFrontEnd front(&unused, "http://base/");
  std::u16string text =
      u"#date=$x#mirrors=[|a=[|url=$http://m0/]|b=[|url=$http://m1/]|c=[|url=$http://m2/]]";
  Parlo_TypedText list(text.c_str(), int32_t(text.size()));

  Parlo_SeedRandom(7);
  int draw = Parlo_Random();
  Parlo_SeedRandom(7);
  std::string expected = "http://m" + std::to_string(draw % 3) + "/";
  EXPECT_EQ(std::string(ChooseDownloadBase(&front, list).Buffer()), expected);

  std::u16string none = u"#date=$x#resources=[]";
  Parlo_TypedText plain(none.c_str(), int32_t(none.size()));
  EXPECT_STREQ(ChooseDownloadBase(&front, plain).Buffer(), "http://base/");
  std::u16string empty = u"#date=$x#mirrors=[]";
  Parlo_TypedText no_mirrors(empty.c_str(), int32_t(empty.size()));
  EXPECT_STREQ(ChooseDownloadBase(&front, no_mirrors).Buffer(), "http://base/");
}

}  // namespace
