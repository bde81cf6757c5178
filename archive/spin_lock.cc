#include "archive/spin_lock.h"

#include "platform/platform.h"

void Parlo_SpinLock::Acquire() {
  const int32_t self = static_cast<int32_t>(platform::CurrentThreadId());
  if (owner == self) {
    ++depth;
    return;
  }
  for (;;) {
    const int32_t inLine = waiter;
    if (inLine == 0 || inLine == self) {
      if (platform::AtomicCompareExchange(&owner, self, 0) == 0) {
        depth = 1;
        waiter = 0;
        return;
      }
    }
    // The first thread to fail waits in line; the others keep trying behind it.
    platform::AtomicCompareExchange(&waiter, self, 0);
    platform::SleepMs(1);
  }
}

void Parlo_SpinLock::Release() {
  --depth;
  if (depth < 1) {
    depth = 0;
    owner = 0;
  }
}
