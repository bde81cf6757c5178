#include "tools/publish/content_store.h"

#include <zlib.h>

#include <atomic>
#include <fstream>
#include <system_error>

#include "common/crc32.h"
#include "tools/publish/sha256.h"

namespace fs = std::filesystem;

namespace publish {
namespace {

std::string Shown(const fs::path& path) {
  auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

// zlib's default level: a fixed level keeps published bytes identical from
// one build to the next.
constexpr int kLevel = 6;

}  // namespace

bool ReadWholeFile(const fs::path& file, std::vector<uint8_t>* bytes, std::string* error) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    *error = Shown(file) + ": cannot open the file for reading";
    return false;
  }
  in.seekg(0, std::ios::end);
  std::streamoff length = in.tellg();
  in.seekg(0, std::ios::beg);
  if (length < 0 || !in) {
    *error = Shown(file) + ": cannot read the file";
    return false;
  }
  bytes->resize(static_cast<size_t>(length));
  if (length > 0) in.read(reinterpret_cast<char*>(bytes->data()), length);
  if (!in || in.gcount() != length || in.peek() != std::char_traits<char>::eof()) {
    *error = Shown(file) + ": cannot read the file (it changed or a read failed)";
    return false;
  }
  return true;
}

void PrepareBytes(std::vector<uint8_t>* plain, std::vector<uint8_t>* stored, StoredResource* info) {
  info->unpacked = plain->size();
  info->hash = Crc32(plain->data(), plain->size());
  uLongf packed = compressBound(static_cast<uLong>(plain->size()));
  stored->resize(4 + packed);
  int result = compress2(stored->data() + 4, &packed, plain->data(),
                         static_cast<uLong>(plain->size()), kLevel);
  if (result == Z_OK && 4 + packed < plain->size()) {
    uint32_t length = static_cast<uint32_t>(plain->size());
    for (int i = 0; i < 4; ++i) (*stored)[i] = static_cast<uint8_t>(length >> (8 * i));
    stored->resize(4 + packed);
    info->compression = 1;
  } else {
    stored->swap(*plain);
    info->compression = 0;
  }
  info->size = static_cast<uint32_t>(stored->size());
  info->path = ContentPath(*stored);
}

bool PrepareResource(const fs::path& source, std::vector<uint8_t>* stored, StoredResource* info,
                     std::string* error) {
  std::vector<uint8_t> plain;
  if (!ReadWholeFile(source, &plain, error)) return false;
  PrepareBytes(&plain, stored, info);
  return true;
}

std::string ContentPath(const std::vector<uint8_t>& stored) {
  std::string hex = Sha256::HexOf(stored.data(), stored.size());
  return "r/" + hex.substr(0, 2) + "/" + hex.substr(2);
}

bool StoreFile(const fs::path& site, const std::string& path, const std::vector<uint8_t>& bytes,
               std::string* error) {
  fs::path target = site / fs::path(path);
  std::error_code ec;
  if (fs::exists(target, ec)) return true;
  fs::create_directories(target.parent_path(), ec);
  if (ec) {
    *error = Shown(target.parent_path()) + ": cannot create the folder: " + ec.message();
    return false;
  }
  // Two workers may store the same content at once; each uses its own name.
  static std::atomic<uint64_t> serial{0};
  fs::path temporary = target;
  temporary += ".part" + std::to_string(serial++);
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      fs::remove(temporary, ec);
      *error = Shown(target) + ": cannot write the file (is the disk full?)";
      return false;
    }
  }
  fs::rename(temporary, target, ec);
  if (ec) {
    fs::remove(temporary, ec);
    *error = Shown(target) + ": cannot rename the written file into place: " + ec.message();
    return false;
  }
  return true;
}

bool UnpackBody(const std::vector<uint8_t>& body, std::vector<uint8_t>* plain, std::string* why) {
  if (body.size() < 4) {
    *why = "shorter than its 4-byte length prefix";
    return false;
  }
  uint32_t length = 0;
  for (int i = 0; i < 4; ++i) length |= uint32_t{body[i]} << (8 * i);
  if (length == 0) {
    *why = "announces an unpacked length of 0";
    return false;
  }
  plain->resize(length);
  uLongf produced = length;
  int result =
      uncompress(plain->data(), &produced, body.data() + 4, static_cast<uLong>(body.size() - 4));
  if (result != Z_OK) {
    *why = result == Z_BUF_ERROR ? "unpacks to more than its announced " + std::to_string(length) +
                                       " bytes, or its stream is cut short"
                                 : "holds a damaged zlib stream";
    return false;
  }
  if (produced != length) {
    *why = "unpacks to " + std::to_string(produced) + " bytes instead of the announced " +
           std::to_string(length);
    return false;
  }
  return true;
}

}  // namespace publish
