// The archive's scrambling: a XOR with a keystream that repeats every 256
// bytes. The same call scrambles and unscrambles. See FORMAT.md.
#pragma once

#include <cstdint>

// The keystream byte for position `i` of a block (i counted from the block's
// first byte).
uint8_t ScrambleKey(uint64_t i);

// XORs `length` bytes of `source` with the keystream into `destination`.
// REQUIRES: `destination` is `source` itself or does not overlap it.
void ScrambleBytes(const void* source, void* destination, uint64_t length);
