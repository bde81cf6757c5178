// SHA-256, used to name published resource files by their bytes so that a
// path, once served, never changes meaning and caches never go stale.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace publish {

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, size_t size);
  // Ends the computation; the object must not be updated afterwards.
  std::array<uint8_t, 32> Finish();

  // The digest of one block as 64 lower-case hexadecimal digits.
  static std::string HexOf(const void* data, size_t size);

 private:
  void Block(const uint8_t* block);

  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t total_ = 0;
};

}  // namespace publish
