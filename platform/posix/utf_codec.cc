// UTF-8 <-> UTF-16 conversion that gives the same text as Windows' converter.
#include "platform/posix/utf_codec.h"

#include <cstdint>

namespace platform::utf_codec {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The range the second byte of a sequence must fall in to make a character:
// narrower than 80..BF after E0, ED, F0 and F4, which would otherwise start an
// overlong form, a surrogate or a code point above U+10FFFF.
void SecondByteRange(uint8_t lead, uint8_t* low, uint8_t* high) {
  *low = 0x80;
  *high = 0xBF;
  if (lead == 0xE0) *low = 0xA0;
  if (lead == 0xED) *high = 0x9F;
  if (lead == 0xF0) *low = 0x90;
  if (lead == 0xF4) *high = 0x8F;
}

// Sequence length announced by a lead byte; 0 for bytes that never lead.
int SequenceLength(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xC2) return 0;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF5) return 4;
  return 0;
}

void AppendCodePoint(std::u16string* out, uint32_t code_point) {
  if (code_point < 0x10000) {
    out->push_back(static_cast<char16_t>(code_point));
    return;
  }
  code_point -= 0x10000;
  out->push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
  out->push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
}

}  // namespace

std::u16string DecodeUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const size_t size = text.size();
  size_t i = 0;
  while (i < size) {
    uint8_t lead = bytes[i];
    int length = SequenceLength(lead);
    if (length == 1) {
      out.push_back(lead);
      ++i;
      continue;
    }
    if (length == 0) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    // A sequence announced longer than what is left swallows the rest of the
    // input into one U+FFFD, whatever those bytes are: Windows does the same.
    if (size - i < static_cast<size_t>(length)) {
      out.push_back(kReplacement);
      break;
    }
    uint32_t code_point = lead & (0x7F >> length);
    size_t consumed = 1;
    uint8_t low, high;
    SecondByteRange(lead, &low, &high);
    bool complete = true;
    for (int k = 1; k < length; ++k) {
      uint8_t byte = bytes[i + consumed];
      if (!IsContinuation(byte)) {
        complete = false;
        break;
      }
      code_point = (code_point << 6) | (byte & 0x3F);
      ++consumed;
      // Windows takes a continuation byte out of the narrow range together
      // with its lead as one invalid piece (E0 80 is one U+FFFD, not two).
      if (k == 1 && (byte < low || byte > high)) {
        complete = false;
        break;
      }
    }
    // The byte that broke a sequence starts over as a sequence of its own.
    if (!complete) {
      out.push_back(kReplacement);
    } else {
      AppendCodePoint(&out, code_point);
    }
    i += consumed;
  }
  return out;
}

std::string EncodeUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  const size_t size = text.size();
  for (size_t i = 0; i < size; ++i) {
    uint32_t code_point = text[i];
    if (code_point >= 0xD800 && code_point <= 0xDFFF) {
      bool pair =
          code_point <= 0xDBFF && i + 1 < size && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
      if (pair) {
        code_point = 0x10000 + ((code_point - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else {
        code_point = kReplacement;
      }
    }
    if (code_point < 0x80) {
      out.push_back(static_cast<char>(code_point));
    } else if (code_point < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
      out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else if (code_point < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    }
  }
  return out;
}

}  // namespace platform::utf_codec
