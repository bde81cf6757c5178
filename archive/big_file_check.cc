#include "archive/big_file_check.h"

#include <memory>

#include "archive/directory_codec.h"
#include "archive/scramble.h"
#include "platform/platform.h"

namespace {

bool ReadExactly(platform::FileHandle file, uint64_t offset, uint8_t* out, uint64_t size) {
  if (platform::FileSeek(file, static_cast<int64_t>(offset), platform::SeekOrigin::kBegin) !=
      static_cast<int64_t>(offset)) {
    return false;
  }
  while (size > 0) {
    uint32_t chunk = size > (1u << 30) ? (1u << 30) : static_cast<uint32_t>(size);
    int64_t got = platform::FileRead(file, out, chunk);
    if (got <= 0) return false;
    out += got;
    size -= static_cast<uint64_t>(got);
  }
  return true;
}

bool Check(platform::FileHandle file, std::vector<std::string>& problems) {
  const int64_t fileSize = platform::FileSize(file);
  if (fileSize < 0) {
    problems.push_back("the file size cannot be read");
    return false;
  }
  uint8_t headerBytes[bigfile::kHeaderSize] = {};
  const uint64_t headerRead = fileSize < 16 ? static_cast<uint64_t>(fileSize) : 16;
  if (!ReadExactly(file, 0, headerBytes, headerRead)) {
    problems.push_back("the header cannot be read");
    return false;
  }
  bigfile::Layout layout = bigfile::LayoutOf(headerBytes, headerRead);
  if (layout == bigfile::Layout::kNone) {
    problems.push_back("not an archive: the file does not start with DRV2 or DRVD");
    return false;
  }
  if (headerRead < bigfile::kHeaderSize) {
    problems.push_back("header cut short: the file has " + std::to_string(fileSize) +
                       " bytes, the header needs 16");
    return false;
  }
  bigfile::Header header = bigfile::ParseHeader(headerBytes);
  bigfile::DirectoryContents contents;
  if (header.directorySize == 0) {
    return true;  // no directory: no entries
  }
  const uint64_t size = static_cast<uint64_t>(fileSize);
  if (header.directoryOffset < bigfile::kHeaderSize || header.directoryOffset > size ||
      header.directorySize > size - header.directoryOffset) {
    problems.push_back("directory [" + std::to_string(header.directoryOffset) + ", " +
                       std::to_string(header.directoryOffset + header.directorySize) +
                       ") lies outside the file (" + std::to_string(size) +
                       " bytes) or over the header");
    return false;
  }
  auto block = std::make_unique<uint8_t[]>(header.directorySize);
  if (!ReadExactly(file, header.directoryOffset, block.get(), header.directorySize)) {
    problems.push_back("the directory cannot be read");
    return false;
  }
  ScrambleBytes(block.get(), block.get(), header.directorySize);
  bool sound = bigfile::DecodeDirectoryBlock(block.get(), header.directorySize, layout, &contents,
                                             &problems);
  // Records decoded before a fault are still checked against the file.
  return bigfile::CheckRegions(contents, header, size, &problems) && sound;
}

}  // namespace

bool CheckBigFile(const char* path, std::vector<std::string>* problems) {
  std::vector<std::string> found;
  platform::FileHandle file = path != nullptr ? platform::FileOpenExisting(path, false) : nullptr;
  bool sound = false;
  if (file == nullptr) {
    found.push_back("the file cannot be opened");
  } else {
    sound = Check(file, found);
    platform::FileClose(file);
  }
  if (problems != nullptr) problems->insert(problems->end(), found.begin(), found.end());
  return sound && found.empty();
}
