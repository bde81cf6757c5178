// The system's pseudo-random generator: the classic linear congruential one of
// the C runtime (srand/rand), the same sequence on every target.
#pragma once

#include <cstdint>

// Restarts the sequence; before the first call the seed is 1.
void Parlo_SeedRandom(uint32_t seed);

// The next number, 0 to 32767. Process-wide state, meant for one thread.
int Parlo_Random();
