// One printf-style formatter for both targets and both widths. The runtime's
// own formatters disagree between msvcrt and glibc on "%s" in wide formats, on
// "%p" and on the size prefixes, so only floating point is handed to snprintf.
//
// Size prefixes: "I64" and "ll" take a 64-bit integer, "z" a size_t, "h" an
// int shown as a short, and "l" and "I32" a 32-bit int on BOTH targets (as on
// Windows): a caller must not pass a 64-bit long with "%ld".
#include "common/format.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/platform.h"

namespace {

// Field widths and precisions beyond this are clamped so a hostile format cannot
// overflow the arithmetic; the estimate saturates far above it.
constexpr int64_t kMaxField = 100000000;
constexpr size_t kMaxEstimateField = size_t{1} << 40;

template <typename CharT>
struct Traits;
template <>
struct Traits<char> {
  using Other = char16_t;
  static constexpr bool kWide = false;
};
template <>
struct Traits<char16_t> {
  using Other = char;
  static constexpr bool kWide = true;
};

// A va_list in a struct can be passed by reference on every ABI (on x86-64
// SysV va_list is an array type).
struct Args {
  va_list ap;
};

enum class Size { kDefault, kShort, k64, kSizeT };

struct Conversion {
  bool left = false;
  bool plus = false;
  bool space = false;
  bool alt = false;
  bool zero = false;
  int64_t width = 0;
  int64_t precision = -1;  // -1: none
  Size size = Size::kDefault;
  char letter = 0;  // 0: the format ended inside the conversion
  // The pre-scan's width figure and the sum of the "*" values it took.
  size_t estimate_width = 0;
  size_t star_total = 0;
};

template <typename CharT>
bool IsDigit(CharT c) {
  return c >= '0' && c <= '9';
}

size_t GrowFigure(size_t figure, int digit) {
  return figure < kMaxEstimateField ? figure * 10 + digit : figure;
}

int64_t GrowField(int64_t field, int digit) {
  return field < kMaxField ? field * 10 + digit : field;
}

int64_t TakeStar(Args& args, Conversion* conv) {
  int64_t value = va_arg(args.ap, int);
  int64_t magnitude = value < 0 ? -value : value;
  if (magnitude > kMaxField) magnitude = kMaxField;
  conv->star_total += static_cast<size_t>(magnitude);
  return value < 0 ? -magnitude : magnitude;
}

// Parses the conversion behind a '%' (`p` points behind it) and answers the
// position behind the conversion letter. "*" arguments are taken here, so the
// formatter and the pre-scan stay in step with the argument list.
template <typename CharT>
const CharT* ParseConversion(const CharT* p, Args& args, Conversion* conv) {
  for (;; ++p) {
    if (*p == '-') {
      conv->left = true;
    } else if (*p == '+') {
      conv->plus = true;
    } else if (*p == ' ') {
      conv->space = true;
    } else if (*p == '#') {
      conv->alt = true;
    } else if (*p == '0') {
      conv->zero = true;
      conv->estimate_width = GrowFigure(conv->estimate_width, 0);
      continue;
    } else {
      break;
    }
    if (conv->estimate_width == 0) conv->estimate_width = 1;
  }
  if (*p == '*') {
    int64_t value = TakeStar(args, conv);
    if (value < 0) conv->left = true;
    conv->width = value < 0 ? -value : value;
    ++p;
  } else {
    for (; IsDigit(*p); ++p) {
      conv->width = GrowField(conv->width, *p - '0');
      conv->estimate_width = GrowFigure(conv->estimate_width, *p - '0');
    }
  }
  if (*p == '.') {
    ++p;
    conv->estimate_width += 1;
    conv->precision = 0;
    if (*p == '*') {
      int64_t value = TakeStar(args, conv);
      conv->precision = value < 0 ? -1 : value;
      ++p;
    } else {
      for (; IsDigit(*p); ++p) {
        conv->precision = GrowField(conv->precision, *p - '0');
        conv->estimate_width = GrowFigure(conv->estimate_width, *p - '0');
      }
    }
  }
  if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
    conv->size = Size::k64;
    p += 3;
  } else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') {
    p += 3;
  } else if (p[0] == 'l' && p[1] == 'l') {
    conv->size = Size::k64;
    p += 2;
  } else if (p[0] == 'l') {
    p += 1;
  } else if (p[0] == 'h') {
    conv->size = Size::kShort;
    p += 1;
  } else if (p[0] == 'z') {
    conv->size = Size::kSizeT;
    p += 1;
  }
  if (*p == 0) return p;
  // A letter outside ASCII is as unknown as any other; 0x7f keeps it a char.
  auto code = static_cast<uint32_t>(static_cast<std::make_unsigned_t<CharT>>(*p));
  conv->letter = code < 0x80 ? static_cast<char>(code) : 0x7f;
  return p + 1;
}

bool IsIntegerLetter(char letter) {
  return letter == 'd' || letter == 'i' || letter == 'u' || letter == 'x' || letter == 'X' ||
         letter == 'o';
}

bool IsFloatLetter(char letter) {
  return letter == 'e' || letter == 'E' || letter == 'f' || letter == 'g' || letter == 'G';
}

bool IsKnownLetter(char letter) {
  return IsIntegerLetter(letter) || IsFloatLetter(letter) || letter == 'c' || letter == 'C' ||
         letter == 's' || letter == 'S' || letter == 'p' || letter == '%';
}

struct Integer {
  bool negative = false;
  uint64_t magnitude = 0;
};

// Takes one integer argument of the size the prefix names.
Integer TakeInteger(const Conversion& conv, Args& args) {
  bool is_signed = conv.letter == 'd' || conv.letter == 'i';
  int64_t value = 0;
  uint64_t bits = 0;
  switch (conv.size) {
    case Size::k64:
      if (is_signed) {
        value = va_arg(args.ap, long long);
      } else {
        bits = va_arg(args.ap, unsigned long long);
      }
      break;
    case Size::kSizeT:
      if (is_signed) {
        value = static_cast<int64_t>(va_arg(args.ap, ptrdiff_t));
      } else {
        bits = va_arg(args.ap, size_t);
      }
      break;
    case Size::kShort:
      if (is_signed) {
        value = static_cast<short>(va_arg(args.ap, int));
      } else {
        bits = static_cast<unsigned short>(va_arg(args.ap, unsigned int));
      }
      break;
    case Size::kDefault:
      if (is_signed) {
        value = va_arg(args.ap, int);
      } else {
        bits = va_arg(args.ap, unsigned int);
      }
      break;
  }
  Integer result;
  if (!is_signed) {
    result.magnitude = bits;
  } else if (value < 0) {
    result.negative = true;
    result.magnitude = 0 - static_cast<uint64_t>(value);
  } else {
    result.magnitude = static_cast<uint64_t>(value);
  }
  return result;
}

// Length of the UTF-8 the converter makes of this UTF-16 text (a lone
// surrogate becomes U+FFFD, three bytes).
size_t Utf8Length(const char16_t* text) {
  size_t length = 0;
  for (; *text; ++text) {
    char16_t c = *text;
    if (c < 0x80) {
      length += 1;
    } else if (c < 0x800) {
      length += 2;
    } else if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
      length += 4;
      ++text;
    } else {
      length += 3;
    }
  }
  return length;
}

template <typename CharT>
size_t TextLength(const CharT* text) {
  size_t length = 0;
  while (text[length]) ++length;
  return length;
}

size_t Larger(size_t a, size_t b) { return a > b ? a : b; }

// ---- Pre-scan ----------------------------------------------------------------

template <typename CharT>
size_t Estimate(const CharT* format, va_list source) {
  if (format == nullptr) return 0;
  Args args;
  va_copy(args.ap, source);
  using Other = typename Traits<CharT>::Other;
  size_t total = 0;
  const CharT* p = format;
  while (*p) {
    if (*p != '%') {
      ++total;
      ++p;
      continue;
    }
    const CharT* start = p;
    Conversion conv;
    p = ParseConversion(p + 1, args, &conv);
    total += conv.star_total;
    size_t w = conv.estimate_width;
    char letter = conv.letter;
    if (letter == '%') {
      total += 1;
    } else if (letter == 'c') {
      va_arg(args.ap, int);
      total += Larger(2, w);
    } else if (letter == 'C') {
      va_arg(args.ap, int);
      // One character of the other width is one UTF-16 unit, or up to three
      // bytes of UTF-8.
      total += Larger(Traits<CharT>::kWide ? 1 : 3, w);
    } else if (IsIntegerLetter(letter)) {
      TakeInteger(conv, args);
      total += Larger(w, 32);
    } else if (letter == 'p') {
      va_arg(args.ap, void*);
      total += Larger(w, 32);
    } else if (IsFloatLetter(letter)) {
      va_arg(args.ap, double);
      // 320 holds any double in "%f" with six decimals; a longer precision adds
      // its digits (sign, 309 integer digits and the point take 311).
      size_t count = Larger(w, 320);
      if (conv.precision > 6) count = Larger(count, 311 + static_cast<size_t>(conv.precision));
      total += count;
    } else if (letter == 's' || letter == 'S') {
      bool own = letter == 's';
      const void* text = va_arg(args.ap, const void*);
      if (text == nullptr) {
        // "(null)" padded to a width may be longer than the 10 counted for it.
        total += Larger(10, 5 + w);
      } else {
        size_t length = 0;
        if (own) {
          length = TextLength(static_cast<const CharT*>(text));
        } else if constexpr (Traits<CharT>::kWide) {
          // Every UTF-8 byte yields at most one UTF-16 unit.
          length = TextLength(static_cast<const Other*>(text));
        } else {
          length = Utf8Length(static_cast<const Other*>(text));
        }
        total += 5 + Larger(length, w);
      }
    } else {
      // Unknown or unfinished conversions are written as they stand.
      total += static_cast<size_t>(p - start);
    }
  }
  va_end(args.ap);
  return total;
}

// ---- Formatter ---------------------------------------------------------------

template <typename CharT>
class Sink {
 public:
  Sink(CharT* out, size_t max) : out_(out), max_(max) {}

  void Put(CharT c) {
    if (written_ < max_) out_[written_++] = c;
  }
  void Repeat(CharT c, int64_t count) {
    for (int64_t i = 0; i < count && !Full(); ++i) Put(c);
  }
  template <typename SourceT>
  void Write(const SourceT* text, size_t length) {
    for (size_t i = 0; i < length && !Full(); ++i) Put(static_cast<CharT>(text[i]));
  }
  bool Full() const { return written_ >= max_; }
  size_t Written() const { return written_; }

 private:
  CharT* out_;
  size_t max_;
  size_t written_ = 0;
};

template <typename CharT>
void PadLeft(Sink<CharT>& sink, const Conversion& conv, size_t length) {
  if (!conv.left && conv.width > static_cast<int64_t>(length)) {
    sink.Repeat(' ', conv.width - static_cast<int64_t>(length));
  }
}

template <typename CharT>
void PadRight(Sink<CharT>& sink, const Conversion& conv, size_t length) {
  if (conv.left && conv.width > static_cast<int64_t>(length)) {
    sink.Repeat(' ', conv.width - static_cast<int64_t>(length));
  }
}

template <typename CharT, typename SourceT>
void WriteField(Sink<CharT>& sink, const Conversion& conv, const SourceT* text, size_t length) {
  PadLeft(sink, conv, length);
  sink.Write(text, length);
  PadRight(sink, conv, length);
}

template <typename CharT>
void WriteInteger(Sink<CharT>& sink, const Conversion& conv, Integer value) {
  char letter = conv.letter;
  unsigned base = letter == 'o' ? 8 : (letter == 'x' || letter == 'X') ? 16 : 10;
  const char* digit_set = letter == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  char digits[24];
  size_t count = 0;
  for (uint64_t v = value.magnitude; v != 0; v /= base) digits[count++] = digit_set[v % base];
  // A precision of 0 prints no digits for the value 0.
  if (value.magnitude == 0 && conv.precision != 0) digits[count++] = '0';

  char prefix[3] = {};
  size_t prefix_length = 0;
  if (letter == 'd' || letter == 'i') {
    if (value.negative) {
      prefix[prefix_length++] = '-';
    } else if (conv.plus) {
      prefix[prefix_length++] = '+';
    } else if (conv.space) {
      prefix[prefix_length++] = ' ';
    }
  } else if (conv.alt && base == 16 && value.magnitude != 0) {
    prefix[prefix_length++] = '0';
    prefix[prefix_length++] = letter;
  }
  int64_t zeros = conv.precision > static_cast<int64_t>(count)
                      ? conv.precision - static_cast<int64_t>(count)
                      : 0;
  if (conv.alt && base == 8 && zeros == 0 && (count == 0 || digits[count - 1] != '0')) zeros = 1;
  int64_t body = static_cast<int64_t>(prefix_length + count) + zeros;
  if (conv.zero && !conv.left && conv.precision < 0 && conv.width > body) {
    zeros += conv.width - body;
    body = conv.width;
  }
  PadLeft(sink, conv, static_cast<size_t>(body));
  sink.Write(prefix, prefix_length);
  sink.Repeat('0', zeros);
  for (size_t i = count; i > 0 && !sink.Full(); --i) sink.Put(digits[i - 1]);
  PadRight(sink, conv, static_cast<size_t>(body));
}

template <typename CharT>
void WritePointer(Sink<CharT>& sink, const Conversion& conv, const void* pointer) {
  // Sixteen upper-case digits on both targets, as msvcrt shows a 64-bit pointer.
  uint64_t value = reinterpret_cast<uintptr_t>(pointer);
  char digits[16];
  for (int i = 15; i >= 0; --i, value >>= 4) digits[i] = "0123456789ABCDEF"[value & 15];
  WriteField(sink, conv, digits, sizeof(digits));
}

template <typename CharT>
void WriteFloat(Sink<CharT>& sink, const Conversion& conv, double value) {
  // The conversion itself is the C library's; only its format text is rebuilt.
  char narrow[64];
  int at = 0;
  narrow[at++] = '%';
  if (conv.left) narrow[at++] = '-';
  if (conv.plus) narrow[at++] = '+';
  if (conv.space) narrow[at++] = ' ';
  if (conv.alt) narrow[at++] = '#';
  if (conv.zero) narrow[at++] = '0';
  if (conv.width > 0) at += std::snprintf(narrow + at, sizeof(narrow) - at, "%d", int(conv.width));
  if (conv.precision >= 0) {
    at += std::snprintf(narrow + at, sizeof(narrow) - at, ".%d", int(conv.precision));
  }
  narrow[at++] = static_cast<char>(conv.letter);
  narrow[at] = 0;
  int length = std::snprintf(nullptr, 0, narrow, value);
  if (length <= 0) return;
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), narrow, value);
  sink.Write(text.data(), static_cast<size_t>(length));
}

std::u16string Convert(std::string_view text) { return platform::Utf8ToUtf16(text); }
std::string Convert(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

// A precision never splits a UTF-8 sequence or a surrogate pair that the
// conversion produced.
size_t CutConverted(const std::string& text, size_t cut) {
  while (cut > 0 && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
    --cut;
  }
  return cut;
}
size_t CutConverted(const std::u16string& text, size_t cut) {
  if (cut > 0 && cut < text.size() && text[cut] >= 0xDC00 && text[cut] < 0xE000) --cut;
  return cut;
}

template <typename CharT>
void WriteText(Sink<CharT>& sink, const Conversion& conv, const void* pointer, bool own) {
  using Other = typename Traits<CharT>::Other;
  if (pointer == nullptr) {
    static const char kNull[] = "(null)";
    size_t length = sizeof(kNull) - 1;
    if (conv.precision >= 0 && static_cast<size_t>(conv.precision) < length) {
      length = static_cast<size_t>(conv.precision);
    }
    WriteField(sink, conv, kNull, length);
    return;
  }
  if (own) {
    // Precision bounds the scan: the text need not be terminated within it.
    const CharT* text = static_cast<const CharT*>(pointer);
    size_t length = 0;
    while ((conv.precision < 0 || static_cast<int64_t>(length) < conv.precision) && text[length]) {
      ++length;
    }
    WriteField(sink, conv, text, length);
    return;
  }
  const Other* text = static_cast<const Other*>(pointer);
  auto converted = Convert(std::basic_string_view<Other>(text, TextLength(text)));
  size_t length = converted.size();
  if (conv.precision >= 0 && static_cast<size_t>(conv.precision) < length) {
    length = CutConverted(converted, static_cast<size_t>(conv.precision));
  }
  WriteField(sink, conv, converted.data(), length);
}

template <typename CharT>
void WriteOtherCharacter(Sink<CharT>& sink, const Conversion& conv, int value) {
  using Other = typename Traits<CharT>::Other;
  Other c = static_cast<Other>(value);
  auto converted = Convert(std::basic_string_view<Other>(&c, 1));
  WriteField(sink, conv, converted.data(), converted.size());
}

template <typename CharT>
size_t Format(CharT* out, size_t max, const CharT* format, va_list source) {
  if (out == nullptr) return 0;
  Sink<CharT> sink(out, max);
  if (format != nullptr) {
    Args args;
    va_copy(args.ap, source);
    const CharT* p = format;
    while (*p && !sink.Full()) {
      if (*p != '%') {
        sink.Put(*p++);
        continue;
      }
      const CharT* start = p;
      Conversion conv;
      p = ParseConversion(p + 1, args, &conv);
      char letter = conv.letter;
      if (!IsKnownLetter(letter)) {
        sink.Write(start, static_cast<size_t>(p - start));
      } else if (letter == '%') {
        sink.Put('%');
      } else if (letter == 'c') {
        CharT c = static_cast<CharT>(va_arg(args.ap, int));
        WriteField(sink, conv, &c, 1);
      } else if (letter == 'C') {
        WriteOtherCharacter(sink, conv, va_arg(args.ap, int));
      } else if (IsIntegerLetter(letter)) {
        WriteInteger(sink, conv, TakeInteger(conv, args));
      } else if (letter == 'p') {
        WritePointer(sink, conv, va_arg(args.ap, const void*));
      } else if (IsFloatLetter(letter)) {
        WriteFloat(sink, conv, va_arg(args.ap, double));
      } else {
        WriteText(sink, conv, va_arg(args.ap, const void*), letter == 's');
      }
    }
    va_end(args.ap);
  }
  out[sink.Written()] = 0;
  return sink.Written();
}

}  // namespace

size_t FormatEstimate(const char* format, va_list args) { return Estimate(format, args); }

size_t FormatEstimateW(const char16_t* format, va_list args) { return Estimate(format, args); }

size_t FormatBounded(char* out, size_t max, const char* format, va_list args) {
  return Format(out, max, format, args);
}

size_t FormatBoundedW(char16_t* out, size_t max, const char16_t* format, va_list args) {
  return Format(out, max, format, args);
}
