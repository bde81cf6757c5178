// The unpacking half of the update benchmark's reference: reads a list of
// downloaded resource files and unpacks each compressed one with zlib's
// one-call uncompress, writing the plain bytes beside it ("FILE.plain").
//
// Usage: unpack_reference LIST
// LIST has one line per file: "C PATH", C being 1 for a compressed body (4-byte
// little-endian unpacked length, then a zlib stream) and 0 for a stored one
// (left as it is). Prints the number of files and bytes unpacked.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool ReadWhole(const std::string& path, std::vector<uint8_t>* bytes) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  long size = ok ? std::ftell(file) : -1;
  ok = size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    bytes->resize(static_cast<size_t>(size));
    ok = std::fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
  }
  std::fclose(file);
  return ok;
}

bool WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: unpack_reference LIST\n");
    return 2;
  }
  FILE* list = std::fopen(argv[1], "r");
  if (list == nullptr) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  // The buffers live across files, as an unpacker that cares for speed keeps them.
  std::vector<uint8_t> packed;
  std::vector<uint8_t> plain;
  uint64_t files = 0, bytes = 0;
  char line[4096];
  while (std::fgets(line, sizeof(line), list) != nullptr) {
    size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = 0;
    if (length < 3 || line[0] != '1') continue;
    std::string path(line + 2);
    if (!ReadWhole(path, &packed) || packed.size() < 4) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 1;
    }
    uint32_t announced = uint32_t(packed[0]) | uint32_t(packed[1]) << 8 |
                         uint32_t(packed[2]) << 16 | uint32_t(packed[3]) << 24;
    if (plain.size() < announced) plain.resize(announced);
    uLongf produced = announced;
    if (uncompress(plain.data(), &produced, packed.data() + 4, uLong(packed.size() - 4)) != Z_OK ||
        produced != announced) {
      std::fprintf(stderr, "cannot unpack %s\n", path.c_str());
      return 1;
    }
    if (!WriteWhole(path + ".plain", plain.data(), produced)) {
      std::fprintf(stderr, "cannot write %s.plain\n", path.c_str());
      return 1;
    }
    ++files;
    bytes += produced;
  }
  std::fclose(list);
  std::printf("%llu files unpacked, %llu bytes\n", static_cast<unsigned long long>(files),
              static_cast<unsigned long long>(bytes));
  return 0;
}
