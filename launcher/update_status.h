// The status texts of an update run: the fixed table that turns a localisation
// key into the display format both front ends show.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// The display format of `key` (compared exactly), or null for an unknown key.
const char16_t* StatusFormatForKey(const char16_t* key);

// Buffer size of a status text, terminator included.
inline constexpr size_t kStatusTextSize = 4096;

// Formats the text of a known key into `out` (kStatusTextSize characters).
void FormatStatusText(char16_t* out, const char16_t* format, va_list args);

// position * 100 / range as whole percent, truncating, so 100 shows only when
// the last byte is in; 0 while no range is set.
int ProgressPercent(uint32_t position, uint32_t range);
