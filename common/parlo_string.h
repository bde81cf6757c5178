// Parlo_String (8-bit bytes) and Parlo_StringW (UTF-16 code units): value strings
// held in one exact-size, zero-terminated heap buffer. Not thread-safe.
#pragma once

#include <cstdarg>
#include <cstdint>

// White space of wide text by one fixed table (the Unicode white space of the
// basic plane), so Windows and POSIX agree where their runtimes' iswspace differ.
bool Parlo_IsWideSpace(char16_t c);

// A wide string: UTF-16 code units in char16_t. The null state (Buffer() ==
// nullptr) arises only from a null pointer or a failed conversion.
class Parlo_StringW {
 public:
  Parlo_StringW();
  Parlo_StringW(const Parlo_StringW& other);
  Parlo_StringW(Parlo_StringW&& other) noexcept;
  Parlo_StringW(const char16_t* text);  // NOLINT: implicit like the text it holds
  // Decodes UTF-8; a null pointer leaves the null state.
  explicit Parlo_StringW(const char* utf8);
  // Copies exactly `count` code units, zeros included.
  Parlo_StringW(const char16_t* text, int count);
  ~Parlo_StringW();

  Parlo_StringW& operator=(const Parlo_StringW& other);
  Parlo_StringW& operator=(Parlo_StringW&& other) noexcept;
  // A null pointer keeps the old text.
  Parlo_StringW& operator=(const char16_t* text);

  int Length() const;
  const char16_t* Buffer() const { return buffer_; }
  char16_t* Buffer() { return buffer_; }
  bool IsNull() const { return buffer_ == nullptr; }

  bool operator==(const Parlo_StringW& other) const;
  bool operator==(const char16_t* text) const;
  bool operator!=(const Parlo_StringW& other) const { return !(*this == other); }

  // Removes trailing white space in place (overwriting it with zeros).
  void TrimRight();
  Parlo_StringW Mid(int start, int count) const;
  Parlo_StringW Left(int count) const { return Mid(0, count); }
  // Decodes backslash-hex escapes ("\41" is 'A').
  void Unescape();
  // Appends another text (a null operand counts as empty).
  Parlo_StringW& operator+=(const Parlo_StringW& other);

  // The system's message text for an error code, right-trimmed; empty if none.
  static Parlo_StringW FromSystemError(uint32_t code);
  // printf-style; "%s" takes a char16_t text, "%S" a narrow (UTF-8) text.
  static Parlo_StringW Format(const char16_t* format, ...);
  static Parlo_StringW FormatV(const char16_t* format, va_list args);

 private:
  void Adopt(char16_t* buffer);  // releases the old buffer, keeps this one

  char16_t* buffer_;
};

// A narrow string of bytes (UTF-8 when made from wide text).
class Parlo_String {
 public:
  Parlo_String();
  Parlo_String(const Parlo_String& other);
  Parlo_String(Parlo_String&& other) noexcept;
  Parlo_String(const char* text);  // NOLINT: implicit like the text it holds
  // Encodes UTF-16 as UTF-8; a null pointer gives the null state.
  explicit Parlo_String(const char16_t* text);
  explicit Parlo_String(const Parlo_StringW& text) : Parlo_String(text.Buffer()) {}
  // Copies exactly `count` bytes.
  Parlo_String(const char* text, int count);
  ~Parlo_String();

  Parlo_String& operator=(const Parlo_String& other);
  Parlo_String& operator=(Parlo_String&& other) noexcept;
  // A null pointer gives the null state.
  Parlo_String& operator=(const char* text);
  Parlo_String& operator=(const char16_t* text);

  int Length() const;
  const char* Buffer() const { return buffer_; }
  char* Buffer() { return buffer_; }
  bool IsNull() const { return buffer_ == nullptr; }

  bool operator==(const Parlo_String& other) const;
  bool operator!=(const Parlo_String& other) const { return !(*this == other); }
  // Compares with ASCII letters folded to lower case: negative, zero or positive.
  int CompareNoCase(const Parlo_String& other) const;

  Parlo_String operator+(const Parlo_String& other) const;
  Parlo_String operator+(const char* text) const;
  Parlo_String& operator+=(const Parlo_String& other);
  Parlo_String& operator+=(const char* text);

  // Index of the first occurrence at or after `start`, else -1.
  int Find(const char* pattern, int start = 0) const;
  int ReverseFind(char ch) const;
  int ReverseFind(const char* pattern) const;
  // Non-overlapping occurrences counted from the left.
  int Count(const char* pattern) const;
  // The piece between separators with the given index (the whole text when
  // there is no separator or the index is out of range).
  Parlo_String Token(const char* separator, int index) const;

  void TrimLeft();
  void TrimRight();
  void Trim();
  Parlo_String Mid(int start, int count) const;
  Parlo_String Mid(int start) const { return Mid(start, Length() - start); }
  Parlo_String Left(int count) const { return Mid(0, count); }
  Parlo_String Right(int count) const { return Mid(Length() - count, count); }

  // printf-style into a buffer sized by a pre-scan of the format; "%s" takes a
  // narrow text, "%S" a char16_t text.
  static Parlo_String Format(const char* format, ...);
  static Parlo_String FormatV(const char* format, va_list args);
  static Parlo_String Base64(const void* data, int length);
  Parlo_String ToBase64() const;

 private:
  void Adopt(char* buffer);

  char* buffer_;
};
