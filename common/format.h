// The system's printf-style formatter, one implementation for both targets so
// that log lines read the same everywhere, and the pre-scan that sizes its buffer.
#pragma once

#include <cstdarg>
#include <cstddef>

// Conversions understood by both widths: flags "-+ #0", width and precision
// (digits or "*"), size prefixes "I64", "I32", "ll", "l", "h", "z", and the
// letters d i u x X o c C s S p e E f g G %. In a narrow format "%s" takes a
// char* and "%S" a char16_t*; in a wide format "%s" takes a char16_t* and "%S" a
// char*. "%c" takes a character of the format's width, "%C" one of the other.
// Text crossing widths is converted through UTF-8.

// The pre-scan estimate of the formatted length (characters, no terminator).
// `args` is consumed; pass a copy.
size_t FormatEstimate(const char* format, va_list args);
size_t FormatEstimateW(const char16_t* format, va_list args);

// Formats into `out`, writing at most `max` characters and then a terminating
// zero (so `out` must hold max + 1). Answers the characters written. A longer
// output is cut at `max`. A null format writes just the terminator.
size_t FormatBounded(char* out, size_t max, const char* format, va_list args);
size_t FormatBoundedW(char16_t* out, size_t max, const char16_t* format, va_list args);
