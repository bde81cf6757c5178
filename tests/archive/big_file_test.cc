#include "archive/big_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "archive/big_file_check.h"
#include "archive/scramble.h"
#include "archive_test_util.h"

namespace {

using archive_test::Bytes;
using archive_test::Get32;
using archive_test::Get64;
using archive_test::ImageRecord;
using archive_test::Put32;
using archive_test::Put64;
using archive_test::PutName;

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes out(size);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(seed + i * 13);
  return out;
}

Bytes Extract(Parlo_BigFile& archive, const char* name) {
  int64_t length = archive.GetFileLength(name);
  if (length < 0) return {};
  Bytes out(static_cast<size_t>(length));
  EXPECT_TRUE(archive.ExtractFile(name, out.data()));
  return out;
}

void Add(Parlo_BigFile& archive, const char* name, const Bytes& data, uint32_t flags = 1) {
  archive.AddFile(name, data.data(), static_cast<uint32_t>(data.size()), flags);
}

class BigFileTest : public ::testing::Test {
 protected:
  // A new, empty archive on disk, opened.
  std::string NewArchive(Parlo_BigFile& archive, const char* name = "a.kbf") {
    std::string path = dir_.File(name);
    archive.CreateBigFile(path.c_str());
    EXPECT_TRUE(archive.LoadBigFile(path.c_str()));
    return path;
  }
  bool Sound(const std::string& path) {
    std::vector<std::string> problems;
    bool sound = CheckBigFile(path.c_str(), &problems);
    for (const std::string& p : problems) ADD_FAILURE() << path << ": " << p;
    return sound;
  }

  archive_test::ScratchDir dir_;
};

TEST_F(BigFileTest, EmptyArchiveIsTheTwentyEightByteFile) {
  Parlo_BigFile archive;
  std::string path = NewArchive(archive);
  Bytes plainDirectory;
  Put32(plainDirectory, 0);
  Put32(plainDirectory, 4);
  Put32(plainDirectory, 0);
  EXPECT_EQ(archive_test::ReadAll(path), archive_test::BuildRaw("DRV2", {}, plainDirectory));
  EXPECT_EQ(archive.count, 0);
  EXPECT_FALSE(archive_test::ReadAll(path).empty());
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST_F(BigFileTest, FirstSavePlacesDataBehindTheOldDirectoryAndCutsTheFile) {
  Parlo_BigFile archive;
  std::string path = NewArchive(archive);
  Bytes data = Pattern(20, 1);
  Add(archive, "first", data);
  EXPECT_EQ(archive.GetFileLength("first"), 0);  // not written yet
  ASSERT_TRUE(archive.SaveBigFile());
  EXPECT_EQ(archive.GetFileLength("first"), 20);
  EXPECT_EQ(archive.items[0]->offset, 28u);
  const uint32_t directorySize = 4 + (6 + 8 + 8 + 4 + 13) + 8;
  Bytes file = archive_test::ReadAll(path);
  EXPECT_EQ(Get64(file, 4), 48u);
  EXPECT_EQ(Get32(file, 12), directorySize);
  EXPECT_EQ(file.size(), 48u + directorySize);
  EXPECT_EQ(archive.items[0]->data, nullptr);  // released once on disk

  Parlo_BigFile reopened;
  ASSERT_TRUE(reopened.LoadBigFile(path.c_str()));
  EXPECT_EQ(Extract(reopened, "FIRST"), data);
  EXPECT_TRUE(Sound(path));
}

// Entries go to the file scrambled piece by piece; the keystream must run on
// across pieces exactly as over one block. Sizes around the piece (1 MiB).
TEST_F(BigFileTest, EntriesLargerThanAWritePieceAreScrambledAsOneBlock) {
  Parlo_BigFile archive;
  std::string path = NewArchive(archive);
  const size_t sizes[] = {(1u << 20) - 1, 1u << 20, (2u << 20) + 300};
  for (size_t size : sizes) {
    Add(archive, ("e" + std::to_string(size)).c_str(), Pattern(size, uint8_t(size)));
    ASSERT_TRUE(archive.SaveBigFile());
    archive.UnloadAllFiles();
  }
  Bytes file = archive_test::ReadAll(path);
  Parlo_BigFile reopened;
  ASSERT_TRUE(reopened.LoadBigFile(path.c_str()));
  for (size_t size : sizes) {
    std::string name = "e" + std::to_string(size);
    Bytes plain = Pattern(size, uint8_t(size));
    int i = reopened.FindFile(name.c_str());
    ASSERT_GE(i, 0);
    Bytes expected(size);
    ScrambleBytes(plain.data(), expected.data(), size);
    uint64_t at = reopened.items[i]->offset;
    ASSERT_LE(at + size, file.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + at)) << name;
    EXPECT_EQ(Extract(reopened, name.c_str()), plain) << name;
  }
  EXPECT_TRUE(Sound(path));
}

TEST_F(BigFileTest, DirectoryAlternatesBetweenTwoPlaces) {
  Parlo_BigFile archive;
  std::string path = NewArchive(archive);
  ASSERT_TRUE(archive.SaveBigFile());
  EXPECT_EQ(archive.directory.offset, 28u);  // [16, 28) is still the header's directory
  EXPECT_EQ(archive_test::ReadAll(path).size(), 40u);
  ASSERT_TRUE(archive.SaveBigFile());
  EXPECT_EQ(archive.directory.offset, 16u);  // back into the freed place
  EXPECT_EQ(archive_test::ReadAll(path).size(), 28u);
  EXPECT_TRUE(Sound(path));
}

TEST_F(BigFileTest, RemovedRegionIsReusedAfterTheSaveThatForgetsIt) {
  Parlo_BigFile archive;
  std::string path = NewArchive(archive);
  Add(archive, "x", Pattern(30, 1));
  Add(archive, "a", Pattern(100, 2));
  Add(archive, "b", Pattern(50, 3));
  ASSERT_TRUE(archive.SaveBigFile());
  ASSERT_EQ(archive.items[1]->offset, 58u);
  archive.RemoveFile("A");
  EXPECT_FALSE(archive.FileExists("a"));
  ASSERT_TRUE(archive.SaveBigFile());
  Add(archive, "c", Pattern(60, 4));
  ASSERT_TRUE(archive.SaveBigFile());
  EXPECT_EQ(archive.items[archive.FindFile("c")]->offset, 58u);

  Parlo_BigFile reopened;
  ASSERT_TRUE(reopened.LoadBigFile(path.c_str()));
  EXPECT_EQ(Extract(reopened, "x"), Pattern(30, 1));
  EXPECT_EQ(Extract(reopened, "b"), Pattern(50, 3));
  EXPECT_EQ(Extract(reopened, "c"), Pattern(60, 4));
  EXPECT_TRUE(Sound(path));
}

TEST_F(BigFileTest, ReplacementNeverOverwritesDataTheHeaderStillLists) {
  Parlo_BigFile archive;
  std::string path = NewArchive(archive);
  Add(archive, "x", Pattern(30, 1));
  Add(archive, "a", Pattern(100, 2));
  Add(archive, "b", Pattern(50, 3));
  ASSERT_TRUE(archive.SaveBigFile());
  Bytes before = archive_test::ReadAll(path);

  Add(archive, "A", Pattern(80, 9));  // replaces "a" and moves it to the end of the list
  EXPECT_EQ(std::string(archive.items[2]->name.Buffer()), "A");
  ASSERT_TRUE(archive.SaveBigFile());
  EXPECT_NE(archive.items[2]->offset, 58u);
  // The old region of "a" was untouched: a crash before the header would
  // have left the previous archive whole.
  Bytes after = archive_test::ReadAll(path);
  EXPECT_TRUE(std::equal(before.begin() + 58, before.begin() + 158, after.begin() + 58));

  // Once the new header is on disk the region is free again.
  Add(archive, "d", Pattern(90, 5));
  ASSERT_TRUE(archive.SaveBigFile());
  EXPECT_EQ(archive.items[archive.FindFile("d")]->offset, 58u);
  Parlo_BigFile reopened;
  ASSERT_TRUE(reopened.LoadBigFile(path.c_str()));
  EXPECT_EQ(Extract(reopened, "a"), Pattern(80, 9));
  EXPECT_EQ(Extract(reopened, "d"), Pattern(90, 5));
  EXPECT_TRUE(Sound(path));
}

TEST_F(BigFileTest, AddFileIgnoresEmptyInputAndKeepsExistingWithoutReplace) {
  Parlo_BigFile archive;
  NewArchive(archive);
  Bytes data = Pattern(5, 1);
  archive.AddFile(nullptr, data.data(), 5, 1);
  archive.AddFile("", data.data(), 5, 1);
  archive.AddFile("zero", data.data(), 0, 1);
  EXPECT_EQ(archive.count, 0);
  Add(archive, "Name", data);
  Add(archive, "other", data);
  Add(archive, "NAME", Pattern(7, 2), 0);
  EXPECT_EQ(archive.count, 2);
  EXPECT_EQ(archive.items[0]->dataSize, 5u);
  Add(archive, "nAmE", Pattern(7, 2), 1);
  ASSERT_EQ(archive.count, 2);
  EXPECT_EQ(std::string(archive.items[1]->name.Buffer()), "nAmE");
  EXPECT_EQ(archive.items[1]->dataSize, 7u);
}

TEST_F(BigFileTest, ExtractOfMissingNameLeavesTheBuffer) {
  Parlo_BigFile archive;
  NewArchive(archive);
  uint8_t buffer[4] = {1, 2, 3, 4};
  EXPECT_FALSE(archive.ExtractFile("missing", buffer));
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(archive.GetFileLength("missing"), -1);
  EXPECT_EQ(archive.GetFileTag("missing"), nullptr);
}

TEST_F(BigFileTest, TagAndReservedValueSurviveSaveAndLoad) {
  std::vector<ImageRecord> records = {{"res", Pattern(9, 1), Pattern(13, 40)}};
  std::string path = dir_.File("tag.kbf");
  archive_test::WriteAll(path, archive_test::BuildImage(records, false, 0xA1B2C3D4));
  Parlo_BigFile archive;
  ASSERT_TRUE(archive.LoadBigFile(path.c_str()));
  EXPECT_EQ(archive.reserved, 0xA1B2C3D4u);
  uint8_t* tag = archive.GetFileTag("RES");
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(Bytes(tag, tag + 13), Pattern(13, 40));
  tag[4] = 7;  // the caller changes the version in place
  ASSERT_TRUE(archive.SaveBigFile());
  Parlo_BigFile reopened;
  ASSERT_TRUE(reopened.LoadBigFile(path.c_str()));
  EXPECT_EQ(reopened.GetFileTag("res")[4], 7);
  EXPECT_EQ(reopened.reserved, 0xA1B2C3D4u);
}

// Directory blocks with odd but readable fields.
TEST_F(BigFileTest, ReaderKeepsThirteenTagBytesAndTheLowHalfOfTheSize) {
  Bytes data = Pattern(40, 1);
  Bytes stored(40);
  // Each entry is a block of its own, scrambled from its first byte.
  for (size_t at : {0, 10, 20}) ScrambleBytes(data.data() + at, stored.data() + at, 10);
  ScrambleBytes(data.data() + 30, stored.data() + 30, 10);
  Bytes directory;
  Put32(directory, 3);
  PutName(directory, "long");  // tag of 20 bytes: 13 kept, 7 skipped
  Put64(directory, 16);
  Put64(directory, 10);
  Put32(directory, 20);
  Bytes longTag = Pattern(20, 100);
  directory.insert(directory.end(), longTag.begin(), longTag.end());
  PutName(directory, "short");  // tag of 5 bytes, zero-filled
  Put64(directory, 26);
  Put64(directory, 10);
  Put32(directory, 5);
  Bytes shortTag = Pattern(5, 200);
  directory.insert(directory.end(), shortTag.begin(), shortTag.end());
  PutName(directory, "Long");  // high half of the size is cut; same name in other case
  Put64(directory, 36);
  Put64(directory, 0x700000004ull);
  Put32(directory, 13);
  directory.insert(directory.end(), 13, 0);
  Put32(directory, 0);  // trailer length 0: reserved stays 0
  std::string path = dir_.File("odd.kbf");
  archive_test::WriteAll(path, archive_test::BuildRaw("DRV2", stored, directory));

  Parlo_BigFile archive;
  ASSERT_TRUE(archive.LoadBigFile(path.c_str()));
  ASSERT_EQ(archive.count, 3);
  EXPECT_EQ(Bytes(archive.items[0]->tag, archive.items[0]->tag + 13),
            Bytes(longTag.begin(), longTag.begin() + 13));
  Bytes expectedShort(shortTag);
  expectedShort.resize(13, 0);
  EXPECT_EQ(Bytes(archive.items[1]->tag, archive.items[1]->tag + 13), expectedShort);
  EXPECT_EQ(archive.items[2]->size, 4u);
  EXPECT_EQ(archive.reserved, 0u);
  // Names differing in case are both kept; lookups find the first.
  EXPECT_EQ(archive.FindFile("LONG"), 0);
  EXPECT_EQ(Extract(archive, "short"), Bytes(data.begin() + 10, data.begin() + 20));
}

TEST_F(BigFileTest, LegacyArchiveIsReadAndSavedAsCurrent) {
  std::vector<ImageRecord> records = {{"DravoClient", Pattern(300, 1), Pattern(13, 9)},
                                      {"layer/1", Pattern(17, 2), Pattern(13, 30)}};
  std::string path = dir_.File("legacy.kbf");
  Bytes image = archive_test::BuildImage(records, true, 5);
  ASSERT_EQ(std::string(image.begin(), image.begin() + 4), "DRVD");
  archive_test::WriteAll(path, image);
  EXPECT_TRUE(Sound(path));

  Parlo_BigFile archive;
  ASSERT_TRUE(archive.LoadBigFile(path.c_str()));
  ASSERT_EQ(archive.count, 2);
  EXPECT_EQ(archive.items[0]->offset, 16u);
  EXPECT_EQ(archive.items[1]->offset, 316u);
  EXPECT_EQ(Extract(archive, "dravoclient"), Pattern(300, 1));
  ASSERT_TRUE(archive.SaveBigFile());

  Bytes saved = archive_test::ReadAll(path);
  EXPECT_EQ(std::string(saved.begin(), saved.begin() + 4), "DRV2");
  Parlo_BigFile reopened;
  ASSERT_TRUE(reopened.LoadBigFile(path.c_str()));
  ASSERT_EQ(reopened.count, 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(std::string(reopened.items[i]->name.Buffer()), records[i].name);
    EXPECT_EQ(reopened.items[i]->offset, archive.items[i]->offset);
    EXPECT_EQ(reopened.items[i]->size, records[i].plain.size());
    EXPECT_EQ(Bytes(reopened.items[i]->tag, reopened.items[i]->tag + 13), records[i].tag);
  }
  EXPECT_EQ(reopened.reserved, 5u);
  EXPECT_EQ(Extract(reopened, "layer/1"), Pattern(17, 2));
  EXPECT_TRUE(Sound(path));
}

TEST_F(BigFileTest, LoadResultsForMissingAndForeignFiles) {
  Parlo_BigFile archive;
  EXPECT_FALSE(archive.LoadBigFile(dir_.File("missing.kbf").c_str()));
  EXPECT_TRUE(archive.path.Buffer() == nullptr || archive.path.Length() == 0);
  std::string foreign = dir_.File("foreign.kbf");
  archive_test::WriteAll(foreign, Bytes{'D', 'R', 'V', '3', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_FALSE(archive.LoadBigFile(foreign.c_str()));
  EXPECT_STREQ(archive.path.Buffer(), foreign.c_str());
  // A foreign file is not cut by a trim.
  archive.RemoveFile("nothing");
  EXPECT_EQ(archive_test::ReadAll(foreign).size(), 16u);

  Bytes noDirectory = {'D', 'R', 'V', '2'};
  noDirectory.resize(16, 0);
  archive_test::WriteAll(foreign, noDirectory);
  EXPECT_TRUE(archive.LoadBigFile(foreign.c_str()));
  EXPECT_EQ(archive.count, 0);
  EXPECT_EQ(archive.reserved, 0u);
}

// Each case bends a sound two-entry archive; none may load or crash.
struct Damage {
  const char* what;
  std::function<Bytes()> build;
};

Bytes Directory(const std::function<void(Bytes&)>& records, uint32_t count, bool trailer = true) {
  Bytes out;
  Put32(out, count);
  records(out);
  if (trailer) {
    Put32(out, 4);
    Put32(out, 0);
  }
  return out;
}

void Record(Bytes& out, const char* name, uint64_t offset, uint64_t size, uint32_t tagLength = 13) {
  PutName(out, name);
  Put64(out, offset);
  Put64(out, size);
  Put32(out, tagLength);
  out.insert(out.end(), std::min<uint32_t>(tagLength, 13), 0);
}

const Bytes kData = Pattern(64, 7);

Bytes WithDirectory(const Bytes& directory) {
  return archive_test::BuildRaw("DRV2", kData, directory);
}

Bytes Sound2() {
  return WithDirectory(Directory(
      [](Bytes& d) {
        Record(d, "a", 16, 32);
        Record(d, "b", 48, 32);
      },
      2));
}

Bytes Patched(Bytes image, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) image[at + i] = static_cast<uint8_t>(value >> (8 * i));
  return image;
}

const std::vector<Damage>& Damages() {
  static const std::vector<Damage> cases = {
      {"truncated header",
       [] {
         Bytes b = Sound2();
         b.resize(10);
         return b;
       }},
      {"magic only",
       [] {
         return Bytes{'D', 'R', 'V', '2'};
       }},
      {"legacy truncated header", [] { return Bytes{'D', 'R', 'V', 'D', 0, 0}; }},
      {"directory offset beyond the file", [] { return Patched(Sound2(), 4, 1u << 20, 8); }},
      {"directory offset near 2^64", [] { return Patched(Sound2(), 4, ~uint64_t{0} - 4, 8); }},
      {"directory over the header", [] { return Patched(Sound2(), 4, 4, 8); }},
      {"directory size huge", [] { return Patched(Sound2(), 12, 0xFFFFFFFFu, 4); }},
      {"directory one byte past the end",
       [] {
         Bytes b = Sound2();
         return Patched(b, 12, Get32(b, 12) + 1, 4);
       }},
      {"count huge",
       [] {
         return WithDirectory(Directory([](Bytes& d) { Record(d, "a", 16, 32); }, 0x7FFFFFFF));
       }},
      {"count one too many",
       [] { return WithDirectory(Directory([](Bytes& d) { Record(d, "a", 16, 32); }, 2)); }},
      {"name without its end byte",
       [] {
         Bytes d;
         Put32(d, 1);
         d.insert(d.end(), {'a', 'b', 'c'});
         return WithDirectory(d);
       }},
      {"tag length huge",
       [] {
         return WithDirectory(Directory([](Bytes& d) { Record(d, "a", 16, 32, 0xFFFFFFF0u); }, 1));
       }},
      {"record past the block",
       [] {
         Bytes d;
         Put32(d, 1);
         PutName(d, "a");
         Put64(d, 16);
         return WithDirectory(d);
       }},
      {"no trailer",
       [] { return WithDirectory(Directory([](Bytes& d) { Record(d, "a", 16, 32); }, 1, false)); }},
      {"trailer length past the block",
       [] {
         Bytes d = Directory([](Bytes& d) { Record(d, "a", 16, 32); }, 1, false);
         Put32(d, 100);
         return WithDirectory(d);
       }},
      {"record offset beyond the file",
       [] { return WithDirectory(Directory([](Bytes& d) { Record(d, "a", 5000, 32); }, 1)); }},
      {"record size beyond the file",
       [] { return WithDirectory(Directory([](Bytes& d) { Record(d, "a", 16, 5000); }, 1)); }},
      {"record offset plus size wraps",
       [] {
         return WithDirectory(Directory([](Bytes& d) { Record(d, "a", ~uint64_t{0} - 8, 32); }, 1));
       }},
      {"record offset 0",
       [] { return WithDirectory(Directory([](Bytes& d) { Record(d, "a", 0, 0); }, 1)); }},
      {"record over the header",
       [] { return WithDirectory(Directory([](Bytes& d) { Record(d, "a", 8, 32); }, 1)); }},
      {"overlapping records",
       [] {
         return WithDirectory(Directory(
             [](Bytes& d) {
               Record(d, "a", 16, 32);
               Record(d, "b", 40, 32);
             },
             2));
       }},
      {"record over the directory",
       [] { return WithDirectory(Directory([](Bytes& d) { Record(d, "a", 16, 70); }, 1)); }},
      {"legacy directory beyond the file",
       [] {
         std::vector<ImageRecord> r = {{"a", Pattern(8, 1)}};
         return Patched(archive_test::BuildImage(r, true), 8, 1u << 30, 4);
       }},
  };
  return cases;
}

TEST_F(BigFileTest, DamagedArchivesLoadAsNoArchiveAndCheckReportsThem) {
  std::string sound = dir_.File("sound.kbf");
  archive_test::WriteAll(sound, Sound2());
  ASSERT_TRUE(Sound(sound));
  Parlo_BigFile good;
  ASSERT_TRUE(good.LoadBigFile(sound.c_str()));
  ASSERT_EQ(good.count, 2);

  for (const Damage& damage : Damages()) {
    SCOPED_TRACE(damage.what);
    std::string path = dir_.File("damaged.kbf");
    Bytes image = damage.build();
    archive_test::WriteAll(path, image);
    Parlo_BigFile archive;
    ASSERT_TRUE(archive.LoadBigFile(sound.c_str()));  // entries from before go too
    EXPECT_FALSE(archive.LoadBigFile(path.c_str()));
    EXPECT_EQ(archive.count, 0);
    EXPECT_EQ(archive.directory.size, 0u);
    std::vector<std::string> problems;
    EXPECT_FALSE(CheckBigFile(path.c_str(), &problems));
    EXPECT_FALSE(problems.empty());
    // Nothing of the damaged file is touched by the object.
    archive.RemoveFile("missing");
    EXPECT_EQ(archive_test::ReadAll(path), image);
  }
}

TEST_F(BigFileTest, CheckListsEveryProblem) {
  std::string path = dir_.File("many.kbf");
  archive_test::WriteAll(path, WithDirectory(Directory(
                                   [](Bytes& d) {
                                     Record(d, "a", 16, 32);
                                     Record(d, "b", 40, 32);
                                     Record(d, "c", 9000, 1);
                                   },
                                   3)));
  std::vector<std::string> problems;
  EXPECT_FALSE(CheckBigFile(path.c_str(), &problems));
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("'c'"), std::string::npos);
  EXPECT_NE(problems[1].find("overlaps"), std::string::npos);
}

TEST_F(BigFileTest, UnsavedEntriesKeepTheirDataThroughUnload) {
  Parlo_BigFile archive;
  std::string path = NewArchive(archive);
  Add(archive, "saved", Pattern(10, 1));
  ASSERT_TRUE(archive.SaveBigFile());
  Add(archive, "new", Pattern(12, 2));
  archive.UnloadAllFiles();
  archive.UnloadFile("new");
  ASSERT_NE(archive.items[1]->data, nullptr);
  ASSERT_TRUE(archive.SaveBigFile());
  Parlo_BigFile reopened;
  ASSERT_TRUE(reopened.LoadBigFile(path.c_str()));
  EXPECT_EQ(Extract(reopened, "new"), Pattern(12, 2));
}

TEST_F(BigFileTest, EntryWithoutDataIsNeverWrittenAsEmpty) {
  Parlo_BigFile archive;
  std::string path = NewArchive(archive);
  Add(archive, "hollow", Pattern(12, 2));
  archive.items[0]->data.reset();  // as a foreign caller might leave it
  Bytes before = archive_test::ReadAll(path);
  EXPECT_FALSE(archive.SaveBigFile());
  EXPECT_EQ(archive_test::ReadAll(path), before);

  archive.CreateBigFile(dir_.File("copy.kbf").c_str());
  EXPECT_FALSE(std::filesystem::exists(dir_.File("copy.kbf")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("copy.kbf.tmp")));
}

TEST_F(BigFileTest, CreateBigFileCopiesStoredEntriesIntoACompactFile) {
  Parlo_BigFile archive;
  std::string path = NewArchive(archive);
  Add(archive, "one", Pattern(100, 1));
  Add(archive, "two", Pattern(50, 2));
  ASSERT_TRUE(archive.SaveBigFile());
  archive.RemoveFile("one");
  Add(archive, "three", Pattern(7, 3));  // only in memory
  std::string copy = dir_.File("copy.kbf");
  archive.CreateBigFile(copy.c_str());
  EXPECT_STREQ(archive.path.Buffer(), copy.c_str());
  EXPECT_EQ(archive.items[0]->offset, 16u);
  EXPECT_EQ(archive.items[1]->offset, 66u);
  EXPECT_EQ(archive_test::ReadAll(copy).size(), 73u + 4 + 2 * 8 + 2 * 25 + 4 + 6 + 8);
  Parlo_BigFile reopened;
  ASSERT_TRUE(reopened.LoadBigFile(copy.c_str()));
  EXPECT_EQ(Extract(reopened, "two"), Pattern(50, 2));
  EXPECT_EQ(Extract(reopened, "three"), Pattern(7, 3));
  EXPECT_TRUE(Sound(copy));
}

TEST_F(BigFileTest, LookupsMatchALinearScanThroughChanges) {
  Parlo_BigFile archive;
  NewArchive(archive);
  std::mt19937 random(7);
  const char* names[] = {"a", "A", "b", "B", "abc", "ABC", "aBc", "z", "Z", "_x"};
  for (int step = 0; step < 2000; ++step) {
    const char* name = names[random() % 10];
    switch (random() % 4) {
      case 0:
        Add(archive, name, Pattern(3, 1), 0);
        break;
      case 1:
        Add(archive, name, Pattern(3, 1), 1);
        break;
      case 2:
        archive.RemoveFile(name);
        break;
      default:
        break;
    }
    const char* probe = names[random() % 10];
    int expected = -1;
    for (int i = 0; i < archive.count && expected < 0; ++i) {
      if (strcasecmp(archive.items[i]->name.Buffer(), probe) == 0) expected = i;
    }
    ASSERT_EQ(archive.FindFile(probe), expected) << "step " << step << " " << probe;
  }
  // A change made straight to the list is seen too.
  archive.Clear();
  EXPECT_FALSE(archive.FileExists("a"));
}

TEST(SpinLockTest, IsRecursiveAndExcludesOtherThreads) {
  Parlo_SpinLock lock;
  {
    Parlo_SpinLockScope outer(lock);
    Parlo_SpinLockScope inner(lock);
    EXPECT_EQ(lock.depth, 2);
  }
  EXPECT_EQ(lock.owner, 0);
  EXPECT_EQ(lock.depth, 0);

  int shared = 0;
  auto work = [&] {
    for (int i = 0; i < 200; ++i) {
      Parlo_SpinLockScope hold(lock);
      int seen = shared;
      std::this_thread::yield();
      shared = seen + 1;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(shared, 400);
}

}  // namespace
