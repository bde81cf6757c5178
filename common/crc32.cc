#include "common/crc32.h"

#include <zlib.h>

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
  // zlib counts lengths in uInt (32 bits), so larger blocks go in pieces.
  constexpr size_t kPiece = size_t{1} << 30;
  const Bytef* bytes = static_cast<const Bytef*>(data);
  uLong value = crc;
  while (size > 0) {
    size_t piece = size < kPiece ? size : kPiece;
    value = crc32(value, bytes, static_cast<uInt>(piece));
    bytes += piece;
    size -= piece;
  }
  return static_cast<uint32_t>(value);
}

uint32_t Crc32(const void* data, size_t size) { return Crc32Update(0, data, size); }
