// Feeds arbitrary bytes to the archive readers: as a whole file, or as the
// plain directory block of a current or legacy archive. Whatever loads must be
// sound, must read back every entry, and must survive a save and a reload with
// the same entries; whatever does not load must be reported by the checker.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/big_file.h"
#include "archive/big_file_check.h"
#include "archive/directory_codec.h"
#include "archive/scramble.h"

namespace {

using Bytes = std::vector<uint8_t>;

// One scratch file per run, removed again when the run ends.
struct Scratch {
  std::string path;
  Scratch() {
    std::random_device seed;
    path = (std::filesystem::temp_directory_path() /
            ("fuzz_archive_" + std::to_string(seed()) + ".kbf"))
               .string();
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
};

const std::string& ScratchPath() {
  static const Scratch scratch;
  return scratch.path;
}

void Put32(Bytes& out, uint64_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A file around a directory block: 64 data bytes at 16, the block behind them.
Bytes ImageAround(const uint8_t* block, size_t size, bool legacy) {
  Bytes out = {'D', 'R', 'V', legacy ? uint8_t('D') : uint8_t('2')};
  if (legacy) Put32(out, 0);
  Put32(out, 80);
  if (!legacy) Put32(out, 0);
  Put32(out, size);
  for (int i = 0; i < 64; ++i) out.push_back(static_cast<uint8_t>(i));
  size_t at = out.size();
  out.insert(out.end(), block, block + size);
  ScrambleBytes(out.data() + at, out.data() + at, size);
  return out;
}

struct Snapshot {
  std::string name;
  uint32_t size;
  Bytes tag;
  Bytes content;
  bool operator==(const Snapshot&) const = default;
};

void CheckImage(const Bytes& image) {
  const std::string& path = ScratchPath();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
  }
  Parlo_BigFile archive;
  bool loaded = archive.LoadBigFile(path.c_str());
  bool sound = CheckBigFile(path.c_str(), nullptr);
  if (loaded != sound) std::abort();  // the loader and the checker disagree
  if (!loaded) return;
  // Lookups answer by name, so read through the list order instead where
  // names repeat; ExtractFile finds the first of equal names.
  std::vector<Snapshot> before;
  for (int i = 0; i < archive.count; ++i) {
    BIGFILE_FILE* e = archive.items[i];
    if (archive.FindFile(e->name.Buffer()) != i) continue;
    Snapshot s{e->name.Buffer(), e->size, Bytes(e->tag, e->tag + 13), Bytes(e->size)};
    if (!archive.ExtractFile(e->name.Buffer(), s.content.data())) std::abort();
    before.push_back(std::move(s));
  }
  const int count = archive.count;
  if (!archive.SaveBigFile()) std::abort();
  if (!CheckBigFile(path.c_str(), nullptr)) std::abort();
  Parlo_BigFile reopened;
  if (!reopened.LoadBigFile(path.c_str()) || reopened.count != count) std::abort();
  std::vector<Snapshot> after;
  for (int i = 0; i < reopened.count; ++i) {
    BIGFILE_FILE* e = reopened.items[i];
    if (reopened.FindFile(e->name.Buffer()) != i) continue;
    Snapshot s{e->name.Buffer(), e->size, Bytes(e->tag, e->tag + 13), Bytes(e->size)};
    if (!reopened.ExtractFile(e->name.Buffer(), s.content.data())) std::abort();
    after.push_back(std::move(s));
  }
  if (!(before == after)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > (1 << 20)) return 0;
  const uint8_t mode = data[0] % 3;
  ++data;
  --size;
  // The decoder alone, on the bytes as a block of each layout.
  for (bigfile::Layout layout : {bigfile::Layout::kCurrent, bigfile::Layout::kLegacy}) {
    bigfile::DirectoryContents contents;
    std::vector<std::string> problems;
    bigfile::DecodeDirectoryBlock(data, size, layout, &contents, &problems);
    bigfile::Header header{layout, 80, static_cast<uint32_t>(size)};
    bigfile::CheckRegions(contents, header, 80 + size, &problems);
  }
  if (mode == 0) {
    CheckImage(Bytes(data, data + size));
  } else {
    CheckImage(ImageAround(data, size, mode == 2));
  }
  return 0;
}
