#include "common/debug_log.h"

#include <atomic>
#include <cstdarg>

#include "common/format.h"

ErrorQueue g_errorQueue;

namespace {

constexpr size_t kDebugLogChars = 40960;

std::atomic<DebugLogSink> g_debugLogSink{nullptr};

// Takes the first text out of `queue` under its lock; null when it is empty or
// the first element is null.
template <class T>
T TakeFirst(CDynamicArrayThreadSafe<T>& queue, bool* empty) {
  queue.lock.Enter();
  *empty = queue.count <= 0;
  T first = *empty ? nullptr : queue.data[0];
  queue.lock.Leave();
  if (*empty) return nullptr;
  queue.lock.Enter();
  --queue.count;
  for (int i = 0; i < queue.count; ++i) queue.data[i] = queue.data[i + 1];
  queue.lock.Leave();
  return first;
}

template <class T>
void ReleaseAll(CDynamicArrayThreadSafe<T>& queue) {
  for (;;) {
    bool empty = false;
    T text = TakeFirst(queue, &empty);
    if (empty || text == nullptr) return;
    delete[] text;
  }
}

}  // namespace

void DebugLog(const char16_t* format, ...) {
  // The line is assembled on the stack only, so logging works while the heap
  // is exhausted or damaged.
  char16_t buffer[kDebugLogChars] = {};
  if (format == nullptr) return;
  va_list args;
  va_start(args, format);
  FormatBoundedW(buffer, kDebugLogChars - 1, format, args);
  va_end(args);
  DebugLogSink sink = g_debugLogSink.load();
  if (sink != nullptr) {
    sink(buffer);
  } else {
    platform::DebugOutput(buffer);
  }
}

void SetDebugLogSink(DebugLogSink sink) { g_debugLogSink.store(sink); }

ErrorQueue::~ErrorQueue() {
  ReleaseAll(wideMessages);
  ReleaseAll(narrowMessages);
}

void ErrorQueue::PushError(const char16_t* format, ...) {
  if (format == nullptr) return;
  va_list args;
  va_start(args, format);
  va_list estimateArgs;
  va_copy(estimateArgs, args);
  size_t estimate = FormatEstimateW(format, estimateArgs);
  va_end(estimateArgs);
  char16_t* text = new char16_t[estimate + 1]();
  FormatBoundedW(text, estimate, format, args);
  va_end(args);
  wideMessages.Add(text);
}
