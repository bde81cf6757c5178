// The millisecond clock: the system's 32-bit tick count extended to 64 bits, so
// durations stay right across the 49.7-day wrap.
#pragma once

#include <cstdint>

// Extends successive 32-bit tick readings: each time a reading is lower than
// the one before, the count has wrapped and 2^32 is added from then on. One
// extender serves one sequence of readings; it is not thread-safe by itself.
class Parlo_TickExtender {
 public:
  uint64_t Extend(uint32_t tick);

 private:
  uint64_t high_ = 0;
  uint32_t last_ = 0;
};

// Milliseconds since the system started, from one process-wide extender.
// Safe from any thread (the readings are serialised); the system reads it from
// one thread only.
uint64_t Parlo_Milliseconds();
