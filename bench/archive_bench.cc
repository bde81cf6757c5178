// Scrambling against memcpy of the same block, and the update check over an
// archive of 20,000 entries (FileExists, GetFileTag and GetFileLength for each
// name) against one load of that archive and against the lookups done as
// plain scans of the entry list, which is what the name index replaces.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/big_file.h"
#include "archive/scramble.h"

namespace {

constexpr size_t kBlock = 64u << 20;
constexpr int kEntries = 20000;

std::vector<uint8_t>& Source() {
  static std::vector<uint8_t> block = [] {
    std::vector<uint8_t> b(kBlock);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 31 + 7);
    return b;
  }();
  return block;
}

void BM_Memcpy64MiB(benchmark::State& state) {
  std::vector<uint8_t>& in = Source();
  std::vector<uint8_t> out(kBlock);
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), kBlock);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlock);
}
BENCHMARK(BM_Memcpy64MiB)->Unit(benchmark::kMillisecond);

void BM_Scramble64MiB(benchmark::State& state) {
  std::vector<uint8_t>& in = Source();
  std::vector<uint8_t> out(kBlock);
  for (auto _ : state) {
    ScrambleBytes(in.data(), out.data(), kBlock);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlock);
}
BENCHMARK(BM_Scramble64MiB)->Unit(benchmark::kMillisecond);

void BM_Scramble64MiBInPlace(benchmark::State& state) {
  std::vector<uint8_t> block = Source();
  for (auto _ : state) {
    ScrambleBytes(block.data(), block.data(), kBlock);
    benchmark::DoNotOptimize(block.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlock);
}
BENCHMARK(BM_Scramble64MiBInPlace)->Unit(benchmark::kMillisecond);

// Resource-like names ("layers/terrain/00042.dds"), stored in shuffled order.
const std::vector<std::string>& Names() {
  static std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (int i = 0; i < kEntries; ++i) {
      n.push_back("layers/terrain/" + std::to_string(100000 + i).substr(1) + ".dds");
    }
    std::shuffle(n.begin(), n.end(), std::mt19937(3));
    return n;
  }();
  return names;
}

// The archive is written once per run with the whole-file writer.
const std::string& ArchivePath() {
  static std::string path = [] {
    std::string p = (std::filesystem::temp_directory_path() / "vossarium_bench_20000.kbf").string();
    Parlo_BigFile archive;
    uint8_t bytes[64] = {};
    for (const std::string& name : Names()) {
      archive.AddFile(name.c_str(), bytes, sizeof(bytes), 0);
    }
    archive.CreateBigFile(p.c_str());
    return p;
  }();
  return path;
}

void BM_Load20000(benchmark::State& state) {
  const std::string& path = ArchivePath();
  for (auto _ : state) {
    Parlo_BigFile archive;
    if (!archive.LoadBigFile(path.c_str()) || archive.count != kEntries) {
      state.SkipWithError("the archive did not load");
    }
  }
}
BENCHMARK(BM_Load20000)->Unit(benchmark::kMillisecond);

// What the update procedure asks of every resource in the list; the names
// are asked in another order than they are stored.
void BM_UpdateCheck20000(benchmark::State& state) {
  Parlo_BigFile archive;
  archive.LoadBigFile(ArchivePath().c_str());
  std::vector<std::string> asked = Names();
  std::reverse(asked.begin(), asked.end());
  for (auto _ : state) {
    int64_t total = 0;
    for (const std::string& name : asked) {
      total += archive.FileExists(name.c_str());
      total += archive.GetFileTag(name.c_str())[12];
      total += archive.GetFileLength(name.c_str());
    }
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_UpdateCheck20000)->Unit(benchmark::kMillisecond);

// The same three questions answered by scanning the list from its start, as
// a lookup without an index does.
int ScanFor(const Parlo_BigFile& archive, const char* name) {
  for (int i = 0; i < archive.count; ++i) {
    const char* a = archive.items[i]->name.Buffer();
    const char* b = name;
    for (;; ++a, ++b) {
      char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a + 32) : *a;
      char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b + 32) : *b;
      if (x != y) break;
      if (x == 0) return i;
    }
  }
  return -1;
}

void BM_UpdateCheck20000LinearScan(benchmark::State& state) {
  Parlo_BigFile archive;
  archive.LoadBigFile(ArchivePath().c_str());
  std::vector<std::string> asked = Names();
  std::reverse(asked.begin(), asked.end());
  for (auto _ : state) {
    int64_t total = 0;
    for (const std::string& name : asked) {
      total += ScanFor(archive, name.c_str()) >= 0;
      total += archive.items[ScanFor(archive, name.c_str())]->tag[12];
      total += archive.items[ScanFor(archive, name.c_str())]->size;
    }
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_UpdateCheck20000LinearScan)->Unit(benchmark::kMillisecond)->Iterations(1);

// One resource replaced and saved in a 20,000-entry archive, as the update
// procedure does after every download; the save sorts every region twice
// (entry, directory), encodes the directory and flushes three times.
void BM_ReplaceAndSave20000(benchmark::State& state) {
  std::string path = ArchivePath() + ".work";
  std::filesystem::copy_file(ArchivePath(), path,
                             std::filesystem::copy_options::overwrite_existing);
  Parlo_BigFile archive;
  archive.LoadBigFile(path.c_str());
  uint8_t bytes[64] = {1};
  size_t next = 0;
  for (auto _ : state) {
    const std::string& name = Names()[next++ % Names().size()];
    archive.AddFile(name.c_str(), bytes, sizeof(bytes), kBigFileReplace);
    if (!archive.SaveBigFile()) state.SkipWithError("the save failed");
    archive.UnloadAllFiles();
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_ReplaceAndSave20000)->Unit(benchmark::kMillisecond);

// 20,000 new entries written by one in-place save into an empty archive.
void BM_SaveNew20000(benchmark::State& state) {
  std::string path = ArchivePath() + ".new";
  uint8_t bytes[64] = {2};
  for (auto _ : state) {
    state.PauseTiming();
    Parlo_BigFile archive;
    archive.CreateBigFile(path.c_str());
    archive.LoadBigFile(path.c_str());
    for (const std::string& name : Names()) archive.AddFile(name.c_str(), bytes, sizeof(bytes), 0);
    state.ResumeTiming();
    if (!archive.SaveBigFile()) state.SkipWithError("the save failed");
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_SaveNew20000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
