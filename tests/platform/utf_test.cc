// UTF-8 <-> UTF-16 conversion at its boundaries. The same table runs against
// the POSIX codec and against Windows' own converter under Wine.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

struct DecodeCase {
  const char* name;
  std::string utf8;
  std::u16string utf16;
};

// Helps to spell byte strings with embedded zeros.
std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

TEST(Utf8ToUtf16, DecodesAndReplacesLikeWindows) {
  const DecodeCase cases[] = {
      {"empty", "", u""},
      {"ascii", "abc~\x7f", u"abc~\x7f"},
      {"two byte lowest and highest", "\xC2\x80\xDF\xBF", u"\u0080\u07FF"},
      {"e acute", "\xC3\xA9", u"\u00E9"},
      {"three byte lowest and highest", "\xE0\xA0\x80\xEF\xBF\xBF", u"\u0800\uFFFF"},
      {"three byte around surrogates", "\xED\x9F\xBF\xEE\x80\x80", u"\uD7FF\uE000"},
      {"four byte lowest", "\xF0\x90\x80\x80", u"\U00010000"},
      {"four byte highest", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"emoji", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"embedded zeros", Bytes({'a', 0, 0xC3, 0xA9, 0, 'b'}), std::u16string(u"a\0\u00E9\0b", 5)},
      {"lone continuation", "a\x80z", u"a\uFFFDz"},
      {"two continuations", "\x80\xBF", u"\uFFFD\uFFFD"},
      {"bytes that never lead", "\xC0\xC1\xF5\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"overlong two byte slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
      // Windows replaces the lead and the second byte of these together.
      {"overlong three byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD"},
      {"overlong four byte", "\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"encoded high surrogate (CESU)", "\xED\xA0\x80", u"\uFFFD\uFFFD"},
      {"CESU surrogate pair", "\xED\xA0\xBD\xED\xB8\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"truncated two byte at end", "a\xC3", u"a\uFFFD"},
      {"truncated three byte at end", "a\xE2\x82", u"a\uFFFD"},
      {"truncated four byte at end", "a\xF0\x9F\x98", u"a\uFFFD"},
      {"truncated three byte before ascii", "\xE2\x82z", u"\uFFFDz"},
      {"truncated four byte before lead", "\xF0\x9F\xC3\xA9", u"\uFFFD\u00E9"},
      {"lead before lead", "\xC3\xC3\xA9", u"\uFFFD\u00E9"},
      {"truncated before zero", Bytes({0xE2, 0x82, 0, 'x'}), std::u16string(u"\uFFFD\0x", 3)},
      // A sequence announced longer than the rest swallows the rest, as on Windows.
      {"short lead swallows ascii", "a\xE2z", u"a\uFFFD"},
      {"short lead swallows zero", Bytes({'a', 0xF0, 0x9F, 0}), u"a\uFFFD"},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.name;
  }
}

struct EncodeCase {
  const char* name;
  std::u16string utf16;
  std::string utf8;
};

TEST(Utf16ToUtf8, EncodesAndReplacesLoneSurrogates) {
  const EncodeCase cases[] = {
      {"empty", u"", ""},
      {"ascii", u"Vossarium", "Vossarium"},
      {"e acute", u"\u00E9", "\xC3\xA9"},
      {"boundaries", u"\u007F\u0080\u07FF\u0800\uFFFF",
       "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {"surrogate pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
      {"highest pair", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {"embedded zeros", std::u16string(u"a\0\u00E9\0", 4), Bytes({'a', 0, 0xC3, 0xA9, 0})},
      {"lone high at end", u"a\xD800", "a\xEF\xBF\xBD"},
      {"lone high before ascii", u"\xD83Dz", "\xEF\xBF\xBDz"},
      {"lone low", u"\xDC00z", "\xEF\xBF\xBDz"},
      {"reversed pair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"high high low", u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
  };
  for (const EncodeCase& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.name;
  }
}

TEST(Utf16ToUtf8, EveryBmpCharacterRoundTrips) {
  std::u16string all;
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<char16_t>(c));
  }
  all += u"\U00010000\U0001F600\U0010FFFF";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(all)), all);
}

}  // namespace
