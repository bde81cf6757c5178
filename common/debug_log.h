// Diagnostics to the debugger output (DebugLog) and the process-wide queue of
// socket error texts (g_errorQueue). Both are safe to call from any thread.
#pragma once

#include "common/containers.h"

// Formats a wide printf-style text ("%s" a char16_t text, "%S" a narrow one)
// and writes it to the debugger output exactly as formatted, cut to 40,959
// characters. A null format writes nothing. Needs 80 KB of stack.
void DebugLog(const char16_t* format, ...);

// Where DebugLog's texts go. Tests install their own sink to read them; null
// restores the debugger output.
using DebugLogSink = void (*)(const char16_t* text);
void SetDebugLogSink(DebugLogSink sink);

// Formatted error texts, oldest first, kept until the queue is destroyed. The
// queue owns the texts (new[] blocks); PushError may run on any thread.
class ErrorQueue {
 public:
  ErrorQueue() = default;
  ErrorQueue(const ErrorQueue&) = delete;
  ErrorQueue& operator=(const ErrorQueue&) = delete;
  // Releases the queued texts up to the first null element of each array.
  ~ErrorQueue();

  // Formats like DebugLog into a block of exactly the estimated size and queues
  // it. A null format queues nothing.
  void PushError(const char16_t* format, ...);

  CDynamicArrayThreadSafe<char16_t*> wideMessages;
  CDynamicArrayThreadSafe<char*> narrowMessages;  // nothing queues narrow texts
};

extern ErrorQueue g_errorQueue;
