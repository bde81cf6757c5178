// The standard CRC-32 (reflected polynomial 0xEDB88320, as zlib's crc32), used
// to tell whether the local game executable matches the archived one.
#pragma once

#include <cstddef>
#include <cstdint>

// The CRC-32 of a whole block of any size.
uint32_t Crc32(const void* data, size_t size);

// Continues `crc` (the CRC-32 of the bytes before) over the next block, so a
// large file can be checked piece by piece; Crc32Update(0, d, n) == Crc32(d, n).
uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);
