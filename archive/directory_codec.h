// The archive's fixed bytes: header, directory block and their checks against
// the file. Shared by Parlo_BigFile, CheckBigFile and the fuzzers; FORMAT.md
// describes the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bigfile {

constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kTagSize = 13;
constexpr uint32_t kTrailerSize = 4;
// Writers always produce the current layout; the legacy one is only read.
enum class Layout { kNone, kCurrent, kLegacy };

struct Header {
  Layout layout = Layout::kNone;
  uint64_t directoryOffset = 0;
  uint32_t directorySize = 0;
};

// The layout named by the first four bytes; kNone for any other bytes or
// fewer than four.
Layout LayoutOf(const uint8_t* bytes, size_t size);
// REQUIRES: 16 bytes that start with a known magic.
Header ParseHeader(const uint8_t* bytes);
// The 16 bytes of a current-layout header.
void WriteHeader(uint64_t directoryOffset, uint32_t directorySize, uint8_t out[kHeaderSize]);

struct DirectoryRecord {
  std::string_view name;  // points into the decoded block
  uint64_t offset = 0;
  uint32_t size = 0;  // the low 32 bits of what the record stores
  uint8_t tag[kTagSize] = {};
};

struct DirectoryContents {
  std::vector<DirectoryRecord> records;
  uint32_t reserved = 0;
};

// Decodes an unscrambled directory block. Answers false at the first fault
// that leaves the rest unreadable (a name without its 0 byte, a record or the
// trailer past the block) and, when `problems` is given, appends a line that
// says what and where. Never reads outside [block, block + size).
bool DecodeDirectoryBlock(const uint8_t* block, size_t size, Layout layout, DirectoryContents* out,
                          std::vector<std::string>* problems);

// Checks that the directory and every record lie inside the file behind the
// header and that no two of them overlap (regions of size 0 cover nothing).
// Without `problems` it stops at the first fault; with it, it lists them all.
bool CheckRegions(const DirectoryContents& contents, const Header& header, uint64_t fileSize,
                  std::vector<std::string>* problems);

}  // namespace bigfile
