// A recursive spin lock with one thread "in line" that alone may take a freed
// lock, and a scope that holds it. Each archive has one.
#pragma once

#include <cstdint>

class Parlo_SpinLock {
 public:
  Parlo_SpinLock() = default;
  Parlo_SpinLock(const Parlo_SpinLock&) = delete;
  Parlo_SpinLock& operator=(const Parlo_SpinLock&) = delete;

  // Nested acquisitions by the owning thread only count up.
  void Acquire();
  // Does not check the caller: only the owner may release.
  void Release();

  volatile int32_t owner = 0;   // thread identifier, 0 when free
  int32_t depth = 0;            // nested acquisitions by the owner
  volatile int32_t waiter = 0;  // the thread first in line, 0 when none
};

// Holds a lock from construction to destruction.
class Parlo_SpinLockScope {
 public:
  explicit Parlo_SpinLockScope(Parlo_SpinLock& lock) : lock_(lock) { lock_.Acquire(); }
  ~Parlo_SpinLockScope() { lock_.Release(); }
  Parlo_SpinLockScope(const Parlo_SpinLockScope&) = delete;
  Parlo_SpinLockScope& operator=(const Parlo_SpinLockScope&) = delete;

 private:
  Parlo_SpinLock& lock_;
};
