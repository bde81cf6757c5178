// Parlo_String and Parlo_StringW. Every change builds a new exact-size buffer
// before the old one is released, so a string may be assigned or appended from
// its own text. A string in the null state reads as empty everywhere.
#include "common/parlo_string.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/format.h"
#include "platform/platform.h"

namespace {

template <typename CharT>
size_t TextLength(const CharT* text) {
  if (text == nullptr) return 0;
  size_t length = 0;
  while (text[length]) ++length;
  return length;
}

// A new zero-terminated copy of exactly `count` characters.
template <typename CharT>
CharT* CopyOf(const CharT* text, size_t count) {
  CharT* buffer = new CharT[count + 1];
  if (count > 0) std::memcpy(buffer, text, count * sizeof(CharT));
  buffer[count] = 0;
  return buffer;
}

template <typename CharT>
CharT* Concatenate(const CharT* a, const CharT* b) {
  size_t length_a = TextLength(a);
  size_t length_b = TextLength(b);
  CharT* buffer = new CharT[length_a + length_b + 1];
  if (length_a > 0) std::memcpy(buffer, a, length_a * sizeof(CharT));
  if (length_b > 0) std::memcpy(buffer + length_a, b, length_b * sizeof(CharT));
  buffer[length_a + length_b] = 0;
  return buffer;
}

// The substring rule shared by both classes: a negative count reaches back
// from `start`; the range is clipped to the text.
template <typename CharT>
CharT* Substring(const CharT* text, int start_in, int count_in) {
  int64_t length = static_cast<int64_t>(TextLength(text));
  int64_t start = start_in;
  int64_t count = count_in;
  if (count < 0) {
    count = -count;
    start -= count;
  }
  if (start < 0) start = 0;
  if (start > length) return CopyOf<CharT>(nullptr, 0);
  if (start + count > length) count = length - start;
  if (count <= 0) return CopyOf<CharT>(nullptr, 0);
  return CopyOf(text + start, static_cast<size_t>(count));
}

bool IsTrimByte(char c) { return c == ' ' || c == '\r' || c == '\t' || c == '\n'; }

int HexValue(char16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

int FindFrom(const char* text, const char* pattern, int start) {
  if (pattern == nullptr || *pattern == 0) return -1;
  int length = static_cast<int>(TextLength(text));
  if (start < 0) start = 0;
  if (start > length) return -1;
  const char* found = std::strstr(text + start, pattern);
  return found == nullptr ? -1 : static_cast<int>(found - text);
}

const char kEmpty[] = "";

}  // namespace

// ---- Parlo_StringW -----------------------------------------------------------

Parlo_StringW::Parlo_StringW() : buffer_(CopyOf<char16_t>(nullptr, 0)) {}

Parlo_StringW::Parlo_StringW(const Parlo_StringW& other)
    : buffer_(other.buffer_ == nullptr ? nullptr
                                       : CopyOf(other.buffer_, TextLength(other.buffer_))) {}

Parlo_StringW::Parlo_StringW(Parlo_StringW&& other) noexcept : buffer_(other.buffer_) {
  other.buffer_ = nullptr;
}

Parlo_StringW::Parlo_StringW(const char16_t* text)
    : buffer_(text == nullptr ? nullptr : CopyOf(text, TextLength(text))) {}

Parlo_StringW::Parlo_StringW(const char* utf8) : buffer_(nullptr) {
  if (utf8 == nullptr) return;
  size_t length = TextLength(utf8);
  std::u16string wide = platform::Utf8ToUtf16(std::string_view(utf8, length));
  // A conversion that yields nothing from some text has failed: null state.
  if (wide.empty() && length > 0) return;
  buffer_ = CopyOf(wide.data(), wide.size());
}

// A null text or a negative count is taken as nothing to copy.
Parlo_StringW::Parlo_StringW(const char16_t* text, int count)
    : buffer_(text == nullptr ? nullptr : CopyOf(text, count > 0 ? size_t(count) : 0)) {}

Parlo_StringW::~Parlo_StringW() { delete[] buffer_; }

void Parlo_StringW::Adopt(char16_t* buffer) {
  delete[] buffer_;
  buffer_ = buffer;
}

Parlo_StringW& Parlo_StringW::operator=(const Parlo_StringW& other) {
  if (this == &other) return *this;
  Adopt(other.buffer_ == nullptr ? nullptr : CopyOf(other.buffer_, TextLength(other.buffer_)));
  return *this;
}

Parlo_StringW& Parlo_StringW::operator=(Parlo_StringW&& other) noexcept {
  if (this == &other) return *this;
  Adopt(other.buffer_);
  other.buffer_ = nullptr;
  return *this;
}

Parlo_StringW& Parlo_StringW::operator=(const char16_t* text) {
  if (text == nullptr) return *this;
  Adopt(CopyOf(text, TextLength(text)));
  return *this;
}

int Parlo_StringW::Length() const { return static_cast<int>(TextLength(buffer_)); }

bool Parlo_StringW::operator==(const Parlo_StringW& other) const { return *this == other.buffer_; }

bool Parlo_StringW::operator==(const char16_t* text) const {
  const char16_t* a = buffer_ == nullptr ? u"" : buffer_;
  const char16_t* b = text == nullptr ? u"" : text;
  while (*a && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

void Parlo_StringW::TrimRight() {
  if (buffer_ == nullptr) return;
  for (size_t length = TextLength(buffer_); length > 0 && Parlo_IsWideSpace(buffer_[length - 1]);) {
    buffer_[--length] = 0;
  }
}

Parlo_StringW Parlo_StringW::Mid(int start, int count) const {
  Parlo_StringW result;
  result.Adopt(Substring(buffer_, start, count));
  return result;
}

// A backslash takes up to two hexadecimal digits behind it. One that no digit
// follows (including one at the end) is kept as it stands, so ordinary text with
// a backslash survives; only the digits actually read are consumed.
void Parlo_StringW::Unescape() {
  if (buffer_ == nullptr || buffer_[0] == 0) return;
  size_t length = TextLength(buffer_);
  char16_t* decoded = new char16_t[length + 1];
  size_t out = 0;
  for (size_t i = 0; i < length;) {
    int high = buffer_[i] == u'\\' ? HexValue(buffer_[i + 1]) : -1;
    if (high < 0) {
      decoded[out++] = buffer_[i++];
      continue;
    }
    int value = high;
    i += 2;
    int low = HexValue(buffer_[i]);
    if (low >= 0) {
      value = value * 16 + low;
      ++i;
    }
    decoded[out++] = static_cast<char16_t>(value);
  }
  decoded[out] = 0;
  Adopt(decoded);
}

Parlo_StringW& Parlo_StringW::operator+=(const Parlo_StringW& other) {
  Adopt(Concatenate(buffer_, other.buffer_));
  return *this;
}

Parlo_StringW Parlo_StringW::FromSystemError(uint32_t code) {
  // The system text is fetched into room for 1,023 characters.
  std::u16string text = platform::SystemErrorText(code);
  if (text.size() > 1023) text.resize(1023);
  Parlo_StringW result(text.c_str());
  result.TrimRight();
  return result;
}

Parlo_StringW Parlo_StringW::Format(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  Parlo_StringW result = FormatV(format, args);
  va_end(args);
  return result;
}

Parlo_StringW Parlo_StringW::FormatV(const char16_t* format, va_list args) {
  Parlo_StringW result;
  if (format == nullptr) return result;
  va_list scan;
  va_copy(scan, args);
  size_t estimate = FormatEstimateW(format, scan);
  va_end(scan);
  char16_t* buffer = new char16_t[estimate + 1]();
  FormatBoundedW(buffer, estimate, format, args);
  result.Adopt(buffer);
  return result;
}

// ---- Parlo_String ------------------------------------------------------------

Parlo_String::Parlo_String() : buffer_(CopyOf<char>(nullptr, 0)) {}

Parlo_String::Parlo_String(const Parlo_String& other)
    : buffer_(other.buffer_ == nullptr ? nullptr
                                       : CopyOf(other.buffer_, TextLength(other.buffer_))) {}

Parlo_String::Parlo_String(Parlo_String&& other) noexcept : buffer_(other.buffer_) {
  other.buffer_ = nullptr;
}

Parlo_String::Parlo_String(const char* text)
    : buffer_(text == nullptr ? nullptr : CopyOf(text, TextLength(text))) {}

Parlo_String::Parlo_String(const char16_t* text) : buffer_(nullptr) { *this = text; }

// A null text or a negative count is taken as nothing to copy.
Parlo_String::Parlo_String(const char* text, int count)
    : buffer_(text == nullptr ? nullptr : CopyOf(text, count > 0 ? size_t(count) : 0)) {}

Parlo_String::~Parlo_String() { delete[] buffer_; }

void Parlo_String::Adopt(char* buffer) {
  delete[] buffer_;
  buffer_ = buffer;
}

Parlo_String& Parlo_String::operator=(const Parlo_String& other) {
  if (this == &other) return *this;
  Adopt(other.buffer_ == nullptr ? nullptr : CopyOf(other.buffer_, TextLength(other.buffer_)));
  return *this;
}

Parlo_String& Parlo_String::operator=(Parlo_String&& other) noexcept {
  if (this == &other) return *this;
  Adopt(other.buffer_);
  other.buffer_ = nullptr;
  return *this;
}

Parlo_String& Parlo_String::operator=(const char* text) {
  Adopt(text == nullptr ? nullptr : CopyOf(text, TextLength(text)));
  return *this;
}

Parlo_String& Parlo_String::operator=(const char16_t* text) {
  if (text == nullptr) {
    Adopt(nullptr);
    return *this;
  }
  size_t length = TextLength(text);
  std::string utf8 = platform::Utf16ToUtf8(std::u16string_view(text, length));
  // A conversion that yields nothing from some text has failed: null state.
  Adopt(utf8.empty() && length > 0 ? nullptr : CopyOf(utf8.data(), utf8.size()));
  return *this;
}

int Parlo_String::Length() const { return static_cast<int>(TextLength(buffer_)); }

bool Parlo_String::operator==(const Parlo_String& other) const {
  return std::strcmp(buffer_ == nullptr ? kEmpty : buffer_,
                     other.buffer_ == nullptr ? kEmpty : other.buffer_) == 0;
}

int Parlo_String::CompareNoCase(const Parlo_String& other) const {
  const char* a = buffer_ == nullptr ? kEmpty : buffer_;
  const char* b = other.buffer_ == nullptr ? kEmpty : other.buffer_;
  for (;; ++a, ++b) {
    auto x = static_cast<unsigned char>(Lower(*a));
    auto y = static_cast<unsigned char>(Lower(*b));
    if (x != y || x == 0) return x - y;
  }
}

Parlo_String Parlo_String::operator+(const Parlo_String& other) const {
  return *this + other.buffer_;
}

Parlo_String Parlo_String::operator+(const char* text) const {
  Parlo_String result;
  result.Adopt(Concatenate(buffer_, text));
  return result;
}

Parlo_String& Parlo_String::operator+=(const Parlo_String& other) { return *this += other.buffer_; }

Parlo_String& Parlo_String::operator+=(const char* text) {
  Adopt(Concatenate(buffer_, text));
  return *this;
}

// An empty pattern is found nowhere, so Count and Token never loop on it.
int Parlo_String::Find(const char* pattern, int start) const {
  return FindFrom(buffer_ == nullptr ? kEmpty : buffer_, pattern, start);
}

int Parlo_String::ReverseFind(char ch) const {
  for (int i = Length() - 1; i >= 0; --i) {
    if (buffer_[i] == ch) return i;
  }
  return -1;
}

int Parlo_String::ReverseFind(const char* pattern) const {
  int pattern_length = static_cast<int>(TextLength(pattern));
  if (pattern_length == 0) return -1;
  for (int i = Length() - pattern_length; i >= 0; --i) {
    if (std::memcmp(buffer_ + i, pattern, pattern_length) == 0) return i;
  }
  return -1;
}

int Parlo_String::Count(const char* pattern) const {
  int pattern_length = static_cast<int>(TextLength(pattern));
  int count = 0;
  for (int at = Find(pattern); at >= 0; at = Find(pattern, at + pattern_length)) ++count;
  return count;
}

Parlo_String Parlo_String::Token(const char* separator, int index) const {
  int count = Count(separator);
  if (count == 0 || index < 0 || index > count) return *this;
  int separator_length = static_cast<int>(TextLength(separator));
  int begin = 0;
  for (int i = 0; i < index; ++i) begin = Find(separator, begin) + separator_length;
  int end = index == count ? Length() : Find(separator, begin);
  return Mid(begin, end - begin);
}

void Parlo_String::TrimLeft() {
  if (buffer_ == nullptr) return;
  size_t skip = 0;
  while (IsTrimByte(buffer_[skip])) ++skip;
  if (skip == 0) return;
  Adopt(CopyOf(buffer_ + skip, TextLength(buffer_ + skip)));
}

void Parlo_String::TrimRight() {
  if (buffer_ == nullptr) return;
  for (size_t length = TextLength(buffer_); length > 0 && IsTrimByte(buffer_[length - 1]);) {
    buffer_[--length] = 0;
  }
}

void Parlo_String::Trim() {
  TrimRight();
  TrimLeft();
}

Parlo_String Parlo_String::Mid(int start, int count) const {
  Parlo_String result;
  result.Adopt(Substring(buffer_, start, count));
  return result;
}

Parlo_String Parlo_String::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Parlo_String result = FormatV(format, args);
  va_end(args);
  return result;
}

Parlo_String Parlo_String::FormatV(const char* format, va_list args) {
  Parlo_String result;
  if (format == nullptr) return result;
  va_list scan;
  va_copy(scan, args);
  size_t estimate = FormatEstimate(format, scan);
  va_end(scan);
  char* buffer = new char[estimate + 1]();
  FormatBounded(buffer, estimate, format, args);
  result.Adopt(buffer);
  return result;
}

Parlo_String Parlo_String::Base64(const void* data, int length) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  Parlo_String result;
  if (data == nullptr || length <= 0) return result;
  const auto* bytes = static_cast<const unsigned char*>(data);
  size_t groups = (static_cast<size_t>(length) + 2) / 3;
  char* text = new char[groups * 4 + 1];
  char* out = text;
  for (int i = 0; i < length; i += 3) {
    int left = length - i;
    uint32_t b0 = bytes[i];
    uint32_t b1 = left > 1 ? bytes[i + 1] : 0;
    uint32_t b2 = left > 2 ? bytes[i + 2] : 0;
    uint32_t triple = (b0 << 16) | (b1 << 8) | b2;
    *out++ = kAlphabet[(triple >> 18) & 63];
    *out++ = kAlphabet[(triple >> 12) & 63];
    *out++ = left > 1 ? kAlphabet[(triple >> 6) & 63] : '=';
    *out++ = left > 2 ? kAlphabet[triple & 63] : '=';
  }
  *out = 0;
  result.Adopt(text);
  return result;
}

Parlo_String Parlo_String::ToBase64() const { return Base64(buffer_, Length()); }

bool Parlo_IsWideSpace(char16_t c) {
  switch (c) {
    case u' ':
    case u'\t':
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case 0x0085:
    case 0x00A0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}
