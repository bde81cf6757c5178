// archive_writer_stress: the writer half of the kill test. In writer mode it
// changes and saves an archive in a loop until it is killed; in check mode it
// verifies that the archive holds exactly the entries of the last completed
// save (or of the save that was under way), with their exact bytes.
//
//   archive_writer_stress write DIR SEED
//   archive_writer_stress check DIR
//
// Every entry's tag carries the seed of its bytes (tag bytes 0-3), so its
// content can be generated again from the tag and the size. Before each save
// the writer records the intended entries in DIR/pending, after it in DIR/done.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "archive/big_file.h"

namespace {

struct Entry {
  std::string name;
  uint32_t seed;
  uint32_t size;
  bool operator==(const Entry& other) const {
    return name == other.name && seed == other.seed && size == other.size;
  }
};

std::vector<uint8_t> Content(uint32_t seed, uint32_t size) {
  std::vector<uint8_t> out(size);
  uint32_t x = seed | 1;
  for (uint32_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<uint8_t>(x);
  }
  return out;
}

uint32_t TagSeed(const uint8_t* tag) {
  uint32_t seed;
  std::memcpy(&seed, tag, 4);
  return seed;
}

std::vector<Entry> Entries(Parlo_BigFile& archive) {
  std::vector<Entry> out;
  for (int i = 0; i < archive.count; ++i) {
    const BIGFILE_FILE* e = archive.items[i];
    out.push_back({e->name.Buffer(), TagSeed(e->tag), e->size});
  }
  return out;
}

// Written to a temporary name and renamed, so a reader sees a whole manifest.
void WriteManifest(const std::filesystem::path& path, const std::vector<Entry>& entries) {
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const Entry& e : entries) out << e.name << " " << e.seed << " " << e.size << "\n";
    out << "end\n";
  }
  std::filesystem::rename(temporary, path);
}

bool ReadManifest(const std::filesystem::path& path, std::vector<Entry>* entries) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (line == "end") return true;
    std::istringstream fields(line);
    Entry e;
    fields >> e.name >> e.seed >> e.size;
    entries->push_back(e);
  }
  return false;
}

int Write(const std::filesystem::path& dir, uint32_t seed) {
  const std::string path = (dir / "stress.kbf").string();
  Parlo_BigFile archive;
  if (!archive.LoadBigFile(path.c_str())) {
    if (std::filesystem::exists(path)) {
      std::cerr << "writer: the archive does not load\n";
      return 3;
    }
    archive.CreateBigFile(path.c_str());
    if (!archive.LoadBigFile(path.c_str())) return 3;
  }
  // A save of an earlier writer may have completed just before it was killed;
  // what loaded now is the archive's state, so the manifests start from it.
  WriteManifest(dir / "done", Entries(archive));
  WriteManifest(dir / "pending", Entries(archive));
  std::mt19937 random(seed);
  for (;;) {
    int changes = 1 + static_cast<int>(random() % 3);
    for (int c = 0; c < changes; ++c) {
      std::string name = "entry" + std::to_string(random() % 24);
      if (random() % 4 == 0) {
        archive.RemoveFile(name.c_str());
        continue;
      }
      uint32_t size = 1 + random() % (random() % 8 == 0 ? 200000 : 6000);
      uint32_t contentSeed = random();
      std::vector<uint8_t> bytes = Content(contentSeed, size);
      archive.AddFile(name.c_str(), bytes.data(), size, kBigFileReplace);
      uint8_t* tag = archive.GetFileTag(name.c_str());
      std::memcpy(tag, &contentSeed, 4);
    }
    std::vector<Entry> intended = Entries(archive);
    for (int i = 0; i < archive.count; ++i) {
      if (archive.items[i]->offset == 0) intended[i].size = archive.items[i]->dataSize;
    }
    WriteManifest(dir / "pending", intended);
    if (!archive.SaveBigFile()) {
      std::cerr << "writer: save failed\n";
      return 4;
    }
    archive.UnloadAllFiles();
    WriteManifest(dir / "done", intended);
    std::ofstream(dir / "saves", std::ios::app) << "saved\n";
  }
}

int Check(const std::filesystem::path& dir) {
  const std::string path = (dir / "stress.kbf").string();
  std::vector<Entry> done, pending;
  bool haveDone = ReadManifest(dir / "done", &done);
  bool havePending = ReadManifest(dir / "pending", &pending);
  Parlo_BigFile archive;
  if (!archive.LoadBigFile(path.c_str())) {
    if (!haveDone && !std::filesystem::exists(path)) return 0;  // killed before the first file
    std::cerr << "check: the archive does not load\n";
    return 1;
  }
  std::vector<Entry> found = Entries(archive);
  if (!(found == done) && !(havePending && found == pending)) {
    std::cerr << "check: the archive holds " << found.size() << " entries, neither the "
              << done.size() << " of the last save nor the " << pending.size()
              << " of the one under way\n";
    return 1;
  }
  for (const Entry& e : found) {
    std::vector<uint8_t> bytes(e.size);
    if (!archive.ExtractFile(e.name.c_str(), bytes.data()) || bytes != Content(e.seed, e.size)) {
      std::cerr << "check: entry " << e.name << " has the wrong bytes\n";
      return 1;
    }
  }
  std::cout << found.size() << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "write") == 0) {
    return Write(argv[2], static_cast<uint32_t>(std::stoul(argv[3])));
  }
  if (argc == 3 && std::strcmp(argv[1], "check") == 0) return Check(argv[2]);
  std::cerr << "usage: archive_writer_stress write DIR SEED | check DIR\n";
  return 2;
}
