// Turns one resource file into the bytes the update site serves for it, and
// stores them under a path that their content decides.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace publish {

// Length of every content path: "r/" + 2 hex digits + "/" + 62 hex digits.
constexpr size_t kContentPathLength = 67;

struct StoredResource {
  std::string path;         // relative to the site, "/" separators
  uint32_t size = 0;        // bytes transferred
  int32_t compression = 0;  // 1: length prefix and zlib stream; 0: plain
  uint32_t hash = 0;        // CRC-32 of the unpacked bytes
  uint64_t unpacked = 0;
};

// Reads `source` whole and builds its served form in `stored`: the compressed
// form (4-byte little-endian unpacked length, then a zlib stream) when it is
// smaller than the plain bytes, the plain bytes otherwise. Memory is the
// file plus its compressed copy. False with a message naming the file.
bool PrepareResource(const std::filesystem::path& source, std::vector<uint8_t>* stored,
                     StoredResource* info, std::string* error);

// The same for bytes already in memory; `plain` may be moved from.
void PrepareBytes(std::vector<uint8_t>* plain, std::vector<uint8_t>* stored, StoredResource* info);

// The content path of served bytes.
std::string ContentPath(const std::vector<uint8_t>& stored);

// Writes `bytes` under `site`/`path` unless that file exists already (its name
// guarantees its content). A temporary name and a rename keep a half-written
// file from ever carrying the final name.
bool StoreFile(const std::filesystem::path& site, const std::string& path,
               const std::vector<uint8_t>& bytes, std::string* error);

// Reads a whole file; false with a message naming it.
bool ReadWholeFile(const std::filesystem::path& file, std::vector<uint8_t>* bytes,
                   std::string* error);

// Unpacks served bytes of compression 1. False when the prefix or the stream
// is damaged or the stream does not unpack to the announced length.
bool UnpackBody(const std::vector<uint8_t>& body, std::vector<uint8_t>* plain, std::string* why);

}  // namespace publish
