// Tests of vossarium-publish's pieces: names, lists, versions, stored forms,
// and whole builds into temporary folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/crc32.h"
#include "tools/publish/content_store.h"
#include "tools/publish/release.h"
#include "tools/publish/resource_name.h"
#include "tools/publish/sha256.h"
#include "tools/publish/site_builder.h"
#include "tools/publish/site_list.h"
#include "tools/publish/site_reader.h"
#include "tools/publish/site_verify.h"
#include "tools/publish/versions.h"

namespace fs = std::filesystem;
using namespace publish;

namespace {

class TempDir {
 public:
  TempDir() {
    static int serial = 0;
    path_ = fs::temp_directory_path() /
            ("publish_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + std::to_string(serial++) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void WriteFile(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out << bytes;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every file below `root` with its bytes, keyed by its relative path.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      files[entry.path().lexically_relative(root).generic_string()] = ReadFile(entry.path());
    }
  }
  return files;
}

std::string Repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

void MakeRelease(const fs::path& dir) {
  WriteFile(dir / "Vossarium" / "DravoClient", "MZ" + Repeated("client code ", 50));
  WriteFile(dir / "Vossarium" / "data" / "a.txt", Repeated("compressible ", 100));
  WriteFile(dir / "Vossarium" / "text" / "hello.txt", "hello");
  WriteFile(dir / "Layers" / "l.bin", Repeated("layer", 40));
  WriteFile(dir / "lang" / "1" / "Vossarium" / "text" / "hello.txt", "hallo");
  WriteFile(dir / "lang" / "1" / "Vossarium" / "only1.txt", "nur hier");
}

int Build(const fs::path& release, const fs::path& out, const fs::path* previous,
          std::string* errors = nullptr) {
  BuildOptions options;
  options.release = release;
  options.out = out;
  if (previous != nullptr) options.previous = *previous;
  options.date = "fixed";
  options.jobs = 2;
  std::ostringstream out_text, err_text;
  int code = RunBuild(options, out_text, err_text);
  if (errors != nullptr) *errors = err_text.str();
  return code;
}

std::map<std::string, ListEntry> ListOf(const fs::path& site, int32_t language) {
  std::map<int32_t, SiteList> lists;
  std::string error;
  EXPECT_TRUE(ReadSiteLists(site, &lists, &error)) << error;
  std::map<std::string, ListEntry> entries;
  for (const ListEntry& entry : lists[language].resources) {
    entries[entry.target + "/" + entry.name] = entry;
  }
  return entries;
}

}  // namespace

TEST(ResourceName, AcceptsWhatTheListAndArchiveCarry) {
  for (const char* name : {"DravoClient", "a/b/c.txt", " leading blank", "m\xC3\xBCnze.txt",
                           "comma,dollar$colon:", "\xF0\x9F\x8E\xAE.png"}) {
    EXPECT_EQ(CheckResourceName(name), "") << name;
  }
}

TEST(ResourceName, RefusesWhatTheyCannotCarry) {
  std::string long_name(kMaxNameBytes + 1, 'x');
  for (std::string name :
       {std::string(""), std::string("a#b"), std::string("a[b"), std::string("a]b"),
        std::string("a|b"), std::string("a=b"), std::string("tab\there"), std::string("trailing "),
        std::string("bad\xFFutf8"), std::string("\xC0\xAF"), std::string("\xED\xA0\x80"),
        std::string("cut\xE2\x82"), long_name}) {
    EXPECT_NE(CheckResourceName(name), "") << name;
  }
  EXPECT_EQ(CheckResourceName(std::string(kMaxNameBytes, 'x')), "");
}

TEST(SiteList, RoundTripsEveryField) {
  SiteList list;
  list.date = "2026-12-10 #1 [x]";
  list.mirrors = {"http://a.example/", "http://b.example/v/"};
  list.resources.push_back(
      ListEntry{"m\xC3\xBCnze/x y.txt", "Layers", 0xFFFFFFFF, 7, 123, "r/ab/cd", 1, 0x80000000});
  list.resources.push_back(ListEntry{"DravoClient", "Vossarium", 1, 0, 1, "r/00/11", 0, 0});
  std::string text, why;
  ASSERT_TRUE(WriteListText(list, &text));
  SiteList back;
  ASSERT_TRUE(ReadListText(text, &back, &why)) << why;
  EXPECT_EQ(back.date, list.date);
  EXPECT_EQ(back.mirrors, list.mirrors);
  ASSERT_EQ(back.resources.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const ListEntry& a = list.resources[i];
    const ListEntry& b = back.resources[i];
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.target, b.target);
    EXPECT_EQ(a.version, b.version);
    EXPECT_EQ(a.language, b.language);
    EXPECT_EQ(a.size, b.size);
    EXPECT_EQ(a.path, b.path);
    EXPECT_EQ(a.compression, b.compression);
    EXPECT_EQ(a.hash, b.hash);
  }
}

TEST(SiteList, RefusesCutOrIncompleteLists) {
  SiteList list;
  list.date = "d";
  for (int i = 0; i < 3; ++i) {
    list.resources.push_back(
        ListEntry{"f" + std::to_string(i), "Vossarium", 1, 0, 10, "r/aa/b", 0, 5});
  }
  std::string text, why;
  ASSERT_TRUE(WriteListText(list, &text));
  SiteList back;
  // Cut between two resources, inside one, before the count, and a list
  // without the required items.
  std::string between = text.substr(0, text.find("|f2=")) + "]\n#date=$d\n#count=i3";
  for (const std::string& damaged :
       {between, text.substr(0, text.size() / 2), text.substr(0, text.find("#count")),
        std::string("#date=$x\n#count=i0"), std::string("#resources=[]\n#count=i0")}) {
    EXPECT_FALSE(ReadListText(damaged, &back, &why)) << damaged;
    EXPECT_FALSE(why.empty());
  }
  std::string no_version = text;
  no_version.replace(no_version.find("|version=i1"), 11, "");
  EXPECT_FALSE(ReadListText(no_version, &back, &why));
  EXPECT_NE(why.find("version"), std::string::npos);
}

TEST(ContentStore, StoresCompressedOnlyWhenSmaller) {
  struct Case {
    std::string bytes;
    int32_t compression;
  };
  std::string noise;
  uint32_t state = 1;
  for (int i = 0; i < 4096; ++i) {
    state = state * 1664525u + 1013904223u;
    noise += static_cast<char>(state >> 24);
  }
  for (const Case& c : {Case{Repeated("abc", 1000), 1}, Case{noise, 0}, Case{"x", 0}}) {
    std::vector<uint8_t> plain(c.bytes.begin(), c.bytes.end()), stored;
    StoredResource info;
    PrepareBytes(&plain, &stored, &info);
    EXPECT_EQ(info.compression, c.compression);
    EXPECT_EQ(info.size, stored.size());
    EXPECT_EQ(info.hash, Crc32(c.bytes.data(), c.bytes.size()));
    EXPECT_EQ(info.path.size(), kContentPathLength);
    EXPECT_EQ(info.path, ContentPath(stored));
    std::vector<uint8_t> unpacked = stored;
    std::string why;
    if (c.compression == 1) {
      EXPECT_LT(stored.size(), c.bytes.size());
      // The updater's form: unpacked length, little-endian, then zlib.
      EXPECT_EQ(stored[0] | stored[1] << 8 | stored[2] << 16 | stored[3] << 24,
                static_cast<int>(c.bytes.size()));
      ASSERT_TRUE(UnpackBody(stored, &unpacked, &why)) << why;
    }
    EXPECT_EQ(std::string(unpacked.begin(), unpacked.end()), c.bytes);
  }
}

TEST(ContentStore, UnpackRefusesDamagedBodies) {
  std::vector<uint8_t> plain(1000, 'a'), stored, out;
  StoredResource info;
  PrepareBytes(&plain, &stored, &info);
  ASSERT_EQ(info.compression, 1);
  std::string why;
  std::vector<uint8_t> zero = stored, longer = stored, shorter = stored, cut = stored;
  zero[0] = zero[1] = zero[2] = zero[3] = 0;
  longer[0] += 1;  // announces 1001: the stream gives 1000
  shorter[0] -= 1;
  cut.resize(cut.size() - 3);
  for (const auto& body : {zero, longer, shorter, cut, std::vector<uint8_t>{1, 0}}) {
    EXPECT_FALSE(UnpackBody(body, &out, &why));
  }
}

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(Sha256::HexOf("", 0),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256::HexOf("abc", 3),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  std::string million(1000000, 'a');
  EXPECT_EQ(Sha256::HexOf(million.data(), million.size()),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Versions, UnchangedKeepsChangedAndNewGoAboveTheHighest) {
  SiteList old;
  old.resources = {ListEntry{"a", "Vossarium", 3, 0, 1, "r/aa/1", 1, 0},
                   ListEntry{"b", "Vossarium", 7, 0, 1, "r/bb/2", 0, 0},
                   ListEntry{"a", "Vossarium", 5, 1, 1, "r/cc/3", 0, 0}};
  VersionBook book;
  std::string why;
  ASSERT_TRUE(book.AddPreviousList(old, &why));
  EXPECT_EQ(book.VersionFor({0, "Vossarium", "a"}, "r/aa/1", 1), 3u);
  EXPECT_EQ(book.VersionFor({0, "Vossarium", "a"}, "r/aa/1", 0), 8u);  // same bytes, other form
  EXPECT_EQ(book.VersionFor({0, "Vossarium", "a"}, "r/zz/9", 1), 8u);
  EXPECT_EQ(book.VersionFor({1, "Vossarium", "a"}, "r/cc/3", 0), 5u);
  EXPECT_EQ(book.VersionFor({0, "Layers", "a"}, "r/aa/1", 1), 8u);  // new in another archive
  EXPECT_EQ(VersionBook().VersionFor({0, "Vossarium", "a"}, "r/aa/1", 1), 1u);

  SiteList top;
  top.resources = {ListEntry{"x", "Vossarium", 0xFFFFFFFF, 0, 1, "r/dd/4", 0, 0}};
  VersionBook full;
  ASSERT_TRUE(full.AddPreviousList(top, &why));
  EXPECT_EQ(full.VersionFor({0, "Vossarium", "x"}, "r/dd/4", 0), 0xFFFFFFFFu);
  EXPECT_EQ(full.VersionFor({0, "Vossarium", "y"}, "r/ee/5", 0), 0u);  // used up

  SiteList contradicting;
  contradicting.resources = {ListEntry{"a", "Vossarium", 4, 0, 1, "r/aa/1", 1, 0}};
  EXPECT_FALSE(book.AddPreviousList(contradicting, &why));
}

TEST(Mirror, AcceptsOnlyPlainHttpBasesThatFitTheAddressBuffer) {
  EXPECT_EQ(CheckMirror("http://cdn.example/vossarium/"), "");
  std::string longest =
      "http://" + std::string(kAddressBuffer - 1 - kContentPathLength - 8, 'h') + "/";
  EXPECT_EQ(CheckMirror(longest), "");
  longest.insert(7, "h");
  for (const std::string& url :
       {std::string("https://cdn.example/"), std::string("http://cdn.example"),
        std::string("ftp://x/"), std::string("http:///"), std::string("http://a b/"), longest}) {
    EXPECT_NE(CheckMirror(url), "") << url;
  }
}

TEST(Release, LanguageListsOverrideCommonFiles) {
  TempDir dir;
  MakeRelease(dir.path());
  Release release;
  std::vector<std::string> errors;
  ASSERT_TRUE(ScanRelease(dir.path(), &release, &errors));
  EXPECT_EQ(release.languages, (std::vector<int32_t>{0, 1}));
  auto names = [&](int32_t language) {
    std::vector<std::string> shown;
    for (size_t index : LanguageFiles(release, language)) {
      shown.push_back(DisplayName(release.files[index]));
    }
    return shown;
  };
  EXPECT_EQ(names(0),
            (std::vector<std::string>{"Layers/l.bin", "Vossarium/DravoClient",
                                      "Vossarium/data/a.txt", "Vossarium/text/hello.txt"}));
  EXPECT_EQ(names(1), (std::vector<std::string>{
                          "Layers/l.bin", "Vossarium/DravoClient", "Vossarium/data/a.txt",
                          "lang/1/Vossarium/only1.txt", "lang/1/Vossarium/text/hello.txt"}));
}

TEST(Release, RefusesBadLayoutsNamingTheFile) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    const char* expected;  // a piece of the message
  };
  std::vector<Case> cases = {
      {"no client", {{"Vossarium/x", "1"}}, "Vossarium/DravoClient: missing"},
      {"empty file",
       {{"Vossarium/DravoClient", "1"}, {"Vossarium/e", ""}},
       "Vossarium/e: the file is empty"},
      {"stray folder",
       {{"Vossarium/DravoClient", "1"}, {"Other/x", "1"}},
       "Other: unexpected folder"},
      {"stray file", {{"Vossarium/DravoClient", "1"}, {"readme", "1"}}, "readme: unexpected file"},
      {"bad name",
       {{"Vossarium/DravoClient", "1"}, {"Vossarium/a=b", "1"}},
       "Vossarium/a=b: the name"},
      {"settings entry",
       {{"Vossarium/DravoClient", "1"}, {"Vossarium/_LocalSettings", "1"}},
       "settings entry"},
      {"case clash",
       {{"Vossarium/DravoClient", "1"}, {"Vossarium/a.txt", "1"}, {"lang/2/Vossarium/A.txt", "1"}},
       "lang/2/Vossarium/A.txt and Vossarium/a.txt: the names differ only in letter case"},
      {"bad language",
       {{"Vossarium/DravoClient", "1"}, {"lang/01/Vossarium/x", "1"}},
       "lang/01: expected"},
      {"language zero",
       {{"Vossarium/DravoClient", "1"}, {"lang/0/Vossarium/x", "1"}},
       "lang/0: expected"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const auto& [name, bytes] : c.files) WriteFile(dir.path() / fs::path(name), bytes);
    Release release;
    std::vector<std::string> errors;
    EXPECT_FALSE(ScanRelease(dir.path(), &release, &errors)) << c.what;
    std::string all;
    for (const std::string& error : errors) all += error + "\n";
    EXPECT_NE(all.find(c.expected), std::string::npos) << c.what << ":\n" << all;
  }
  Release release;
  std::vector<std::string> errors;
  EXPECT_FALSE(ScanRelease(fs::path("/no/such/release"), &release, &errors));
}

TEST(Build, IsDeterministicAndVerifies) {
  TempDir dir;
  MakeRelease(dir.path() / "release");
  ASSERT_EQ(Build(dir.path() / "release", dir.path() / "one", nullptr), 0);
  ASSERT_EQ(Build(dir.path() / "release", dir.path() / "two", nullptr), 0);
  EXPECT_EQ(Snapshot(dir.path() / "one"), Snapshot(dir.path() / "two"));
  std::ostringstream out, err;
  EXPECT_EQ(RunVerify(dir.path() / "one", false, out, err), 0) << err.str();
  EXPECT_FALSE(fs::exists(dir.path() / "one.publishing"));

  auto list1 = ListOf(dir.path() / "one", 1);
  EXPECT_EQ(list1.at("Vossarium/text/hello.txt").language, 1);
  EXPECT_EQ(list1.at("Vossarium/DravoClient").language, 0);
  EXPECT_EQ(list1.at("Vossarium/only1.txt").version, 1u);
  EXPECT_EQ(ListOf(dir.path() / "one", 0).count("Vossarium/only1.txt"), 0u);
  EXPECT_EQ(ReadFile(dir.path() / "one" / "resource.002.php"),
            ReadFile(dir.path() / "one" / "lists" / "0.txt"));
}

TEST(Build, PreviousSiteKeepsVersionsOfUnchangedResources) {
  TempDir dir;
  fs::path release = dir.path() / "release", site = dir.path() / "site";
  MakeRelease(release);
  ASSERT_EQ(Build(release, site, nullptr), 0);
  ASSERT_EQ(Build(release, site, &site), 0);  // nothing changed: all stay at 1
  for (const auto& [name, entry] : ListOf(site, 1)) EXPECT_EQ(entry.version, 1u) << name;

  WriteFile(release / "Vossarium" / "data" / "a.txt", "changed");
  ASSERT_EQ(Build(release, site, &site), 0);
  auto list = ListOf(site, 1);
  EXPECT_EQ(list.at("Vossarium/data/a.txt").version, 2u);
  EXPECT_EQ(list.at("Vossarium/DravoClient").version, 1u);

  // A removed and re-added resource comes back above every version used.
  fs::remove(release / "Layers" / "l.bin");
  ASSERT_EQ(Build(release, site, &site), 0);
  WriteFile(release / "Layers" / "l.bin", Repeated("layer", 40));
  ASSERT_EQ(Build(release, site, &site), 0);
  EXPECT_EQ(ListOf(site, 0).at("Layers/l.bin").version, 3u);
}

TEST(Build, FailuresLeaveThePreviousSiteUntouched) {
  TempDir dir;
  fs::path release = dir.path() / "release", site = dir.path() / "site";
  MakeRelease(release);
  ASSERT_EQ(Build(release, site, nullptr), 0);
  auto before = Snapshot(site);

  std::string errors;
  WriteFile(release / "Vossarium" / "bad#name", "x");
  EXPECT_EQ(Build(release, site, &site, &errors), 1);
  EXPECT_NE(errors.find("Vossarium/bad#name"), std::string::npos) << errors;
  fs::remove(release / "Vossarium" / "bad#name");

  // A damaged previous site: a list cut short.
  fs::path damaged = dir.path() / "damaged";
  fs::copy(site, damaged, fs::copy_options::recursive);
  std::string list = ReadFile(damaged / "lists" / "1.txt");
  WriteFile(damaged / "lists" / "1.txt", list.substr(0, list.size() / 2));
  EXPECT_EQ(Build(release, site, &damaged, &errors), 1);
  EXPECT_NE(errors.find("1.txt: damaged list"), std::string::npos) << errors;

  EXPECT_EQ(Snapshot(site), before);
  EXPECT_FALSE(fs::exists(dir.path() / "site.publishing"));
}

TEST(Build, InterruptedBuildsAreCleanedUpAndRecovered) {
  TempDir dir;
  fs::path release = dir.path() / "release", site = dir.path() / "site";
  MakeRelease(release);
  ASSERT_EQ(Build(release, site, nullptr), 0);
  auto before = Snapshot(site);
  // A build killed while staging, and one killed between its two renames.
  WriteFile(dir.path() / "site.publishing" / ".vossarium-publish-staging", "");
  WriteFile(dir.path() / "site.publishing" / "r" / "00" / "half", "x");
  fs::rename(site, dir.path() / "site.replaced");
  ASSERT_EQ(Build(release, site, &site), 0);
  EXPECT_EQ(Snapshot(site), before);
  EXPECT_FALSE(fs::exists(dir.path() / "site.replaced"));

  // A folder of that name that is not ours is never removed.
  WriteFile(dir.path() / "site.publishing" / "mine.txt", "operator's");
  EXPECT_EQ(Build(release, site, &site), 1);
  EXPECT_TRUE(fs::exists(dir.path() / "site.publishing" / "mine.txt"));
}

TEST(Verify, FindsDamagedAndMissingFiles) {
  TempDir dir;
  fs::path release = dir.path() / "release", site = dir.path() / "site";
  MakeRelease(release);
  ASSERT_EQ(Build(release, site, nullptr), 0);
  auto list = ListOf(site, 0);
  fs::path compressed = site / list.at("Vossarium/data/a.txt").path;
  fs::path plain = site / list.at("Vossarium/text/hello.txt").path;
  ASSERT_EQ(list.at("Vossarium/data/a.txt").compression, 1);
  ASSERT_EQ(list.at("Vossarium/text/hello.txt").compression, 0);

  std::string bytes = ReadFile(compressed);
  bytes[bytes.size() - 5] ^= 0x40;
  WriteFile(compressed, bytes);
  fs::remove(plain);
  WriteFile(site / "resource.002.php", "stale");
  std::ostringstream out, err;
  EXPECT_EQ(RunVerify(site, false, out, err), 1);
  EXPECT_NE(err.str().find(list.at("Vossarium/data/a.txt").path), std::string::npos) << err.str();
  EXPECT_NE(err.str().find(list.at("Vossarium/text/hello.txt").path + ": missing"),
            std::string::npos);
  EXPECT_NE(err.str().find("resource.002.php"), std::string::npos);
  EXPECT_NE(out.str().find("problem"), std::string::npos);
}
