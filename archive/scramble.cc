#include "archive/scramble.h"

#include <cstring>

namespace {

// The 256 keystream bytes of one period, built once. Aligned so that the
// word loop below reads whole cache lines.
struct KeyTable {
  alignas(64) uint8_t bytes[256];
  KeyTable() {
    for (int i = 0; i < 256; ++i) {
      bytes[i] = static_cast<uint8_t>(((i ^ 0x5B) * ((i + 1) & 0xFF)) - 0x39);
    }
  }
};

const KeyTable& Keys() {
  static const KeyTable table;
  return table;
}

// 16 bytes handled as one value; GCC and clang turn it into one vector
// register (SSE2 on x86-64), and memcpy keeps loads and stores free of
// alignment and aliasing assumptions.
typedef uint8_t Block16 __attribute__((vector_size(16)));

// One full period: 256 bytes as 16 blocks.
inline void XorPeriod(const uint8_t* in, uint8_t* out, const uint8_t* key) {
  for (int w = 0; w < 256; w += 16) {
    Block16 data, mask;
    std::memcpy(&data, in + w, 16);
    std::memcpy(&mask, key + w, 16);
    data ^= mask;
    std::memcpy(out + w, &data, 16);
  }
}

}  // namespace

uint8_t ScrambleKey(uint64_t i) { return Keys().bytes[i & 0xFF]; }

void ScrambleBytes(const void* source, void* destination, uint64_t length) {
  const uint8_t* in = static_cast<const uint8_t*>(source);
  uint8_t* out = static_cast<uint8_t*>(destination);
  const uint8_t* key = Keys().bytes;
  uint64_t done = 0;
  for (; length - done >= 256; done += 256) XorPeriod(in + done, out + done, key);
  // The tail is shorter than a period and starts at keystream position 0.
  for (uint64_t i = 0; done + i < length; ++i) out[done + i] = in[done + i] ^ key[i];
}
