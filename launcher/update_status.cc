#include "launcher/update_status.h"

#include <string_view>

#include "common/format.h"

namespace {

struct StatusKey {
  std::u16string_view key;
  const char16_t* format;
};

// The texts do not depend on the player's language.
constexpr StatusKey kStatusKeys[] = {
    {u"update_downloadingbytes", u"Downloading %.2f MB of %.2f MB"},
    {u"update_connecting", u"Connecting to dataserver..."},
    {u"update_finished", u"Update finished!"},
    {u"update_retry", u"Connection failed - retrying %d (out of %d)"},
};

}  // namespace

const char16_t* StatusFormatForKey(const char16_t* key) {
  if (key == nullptr) return nullptr;
  std::u16string_view wanted(key);
  for (const StatusKey& entry : kStatusKeys) {
    if (entry.key == wanted) return entry.format;
  }
  return nullptr;
}

void FormatStatusText(char16_t* out, const char16_t* format, va_list args) {
  FormatBoundedW(out, kStatusTextSize - 1, format, args);
}

int ProgressPercent(uint32_t position, uint32_t range) {
  if (range == 0) return 0;
  // 64 bits: position * 100 overflows 32 bits from 43 MB on.
  uint64_t percent = static_cast<uint64_t>(position) * 100 / range;
  return percent > INT32_MAX ? INT32_MAX : static_cast<int>(percent);
}
