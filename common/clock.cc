#include "common/clock.h"

#include "platform/platform.h"

uint64_t Parlo_TickExtender::Extend(uint32_t tick) {
  if (tick < last_) high_ += uint64_t{1} << 32;
  last_ = tick;
  return high_ + tick;
}

uint64_t Parlo_Milliseconds() {
  // Built on first use, so other static objects may read the clock while they
  // are constructed.
  static platform::CriticalSection lock;
  static Parlo_TickExtender extender;
  lock.Enter();
  uint64_t now = extender.Extend(platform::TickCount32());
  lock.Leave();
  return now;
}
