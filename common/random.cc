#include "common/random.h"

namespace {

uint32_t g_randomState = 1;

}  // namespace

void Parlo_SeedRandom(uint32_t seed) { g_randomState = seed; }

int Parlo_Random() {
  g_randomState = g_randomState * 214013u + 2531011u;
  return static_cast<int>((g_randomState >> 16) & 0x7FFF);
}
