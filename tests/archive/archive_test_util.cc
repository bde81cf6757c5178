#include "archive_test_util.h"

#include <fstream>
#include <random>

#include "archive/scramble.h"

namespace archive_test {

ScratchDir::ScratchDir() {
  std::random_device seed;
  root_ = std::filesystem::temp_directory_path() /
          ("vossarium-archive-" + std::to_string(seed()) + std::to_string(seed()));
  std::filesystem::create_directories(root_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void Put32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put64(Bytes& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out, static_cast<uint32_t>(v >> 32));
}
void PutName(Bytes& out, const std::string& name) {
  out.insert(out.end(), name.begin(), name.end());
  out.push_back(0);
}
uint32_t Get32(const Bytes& in, size_t at) {
  return uint32_t{in[at]} | uint32_t{in[at + 1]} << 8 | uint32_t{in[at + 2]} << 16 |
         uint32_t{in[at + 3]} << 24;
}
uint64_t Get64(const Bytes& in, size_t at) {
  return uint64_t{Get32(in, at)} | uint64_t{Get32(in, at + 4)} << 32;
}

Bytes BuildImage(const std::vector<ImageRecord>& records, bool legacy, uint32_t reserved) {
  Bytes data;
  Bytes directory;
  Put32(directory, static_cast<uint32_t>(records.size()));
  for (const ImageRecord& record : records) {
    uint64_t offset = 16 + data.size();
    Bytes stored(record.plain.size());
    ScrambleBytes(record.plain.data(), stored.data(), stored.size());
    data.insert(data.end(), stored.begin(), stored.end());
    PutName(directory, record.name);
    if (legacy) {
      Put32(directory, static_cast<uint32_t>(offset));
      Put32(directory, static_cast<uint32_t>(record.plain.size()));
    } else {
      Put64(directory, offset);
      Put64(directory, record.plain.size());
    }
    Put32(directory, static_cast<uint32_t>(record.tag.size()));
    directory.insert(directory.end(), record.tag.begin(), record.tag.end());
  }
  Put32(directory, 4);
  Put32(directory, reserved);
  return BuildRaw(legacy ? "DRVD" : "DRV2", data, directory, legacy);
}

Bytes BuildRaw(const char magic[4], const Bytes& data, const Bytes& plainDirectory, bool legacy) {
  Bytes out(magic, magic + 4);
  uint64_t dirOffset = 16 + data.size();
  if (legacy) {
    Put32(out, 0);
    Put32(out, static_cast<uint32_t>(dirOffset));
  } else {
    Put64(out, dirOffset);
  }
  Put32(out, static_cast<uint32_t>(plainDirectory.size()));
  out.insert(out.end(), data.begin(), data.end());
  Bytes scrambled(plainDirectory.size());
  ScrambleBytes(plainDirectory.data(), scrambled.data(), scrambled.size());
  out.insert(out.end(), scrambled.begin(), scrambled.end());
  return out;
}

}  // namespace archive_test
