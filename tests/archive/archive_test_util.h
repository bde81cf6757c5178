// Helpers for the archive tests: a scratch folder per test, whole-file reads
// and writes, and an archive image built byte by byte.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace archive_test {

using Bytes = std::vector<uint8_t>;

// A fresh, empty folder removed again at the end of the test.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  std::string File(const std::string& name) const { return (root_ / name).string(); }

 private:
  std::filesystem::path root_;
};

Bytes ReadAll(const std::string& path);
void WriteAll(const std::string& path, const Bytes& bytes);

// Little-endian appends.
void Put32(Bytes& out, uint32_t v);
void Put64(Bytes& out, uint64_t v);
void PutName(Bytes& out, const std::string& name);
uint32_t Get32(const Bytes& in, size_t at);
uint64_t Get64(const Bytes& in, size_t at);

// A byte-level archive: the records' data are placed back to back from
// offset 16, the directory behind them; fields can be bent before Build.
struct ImageRecord {
  std::string name;
  Bytes plain;
  Bytes tag = Bytes(13, 0);
};
// `legacy` writes DRVD with 32-bit offsets and sizes.
Bytes BuildImage(const std::vector<ImageRecord>& records, bool legacy, uint32_t reserved = 0);
// Builds a file from a header and a plain directory block placed at `dirOffset`
// (the gap from 16 is filled from `data`).
Bytes BuildRaw(const char magic[4], const Bytes& data, const Bytes& plainDirectory,
               bool legacy = false);

}  // namespace archive_test
