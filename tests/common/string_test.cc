#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/parlo_string.h"

namespace {

std::string Text(const Parlo_String& s) { return s.Buffer() == nullptr ? "<null>" : s.Buffer(); }
std::u16string Text(const Parlo_StringW& s) {
  return s.Buffer() == nullptr ? u"<null>" : s.Buffer();
}

TEST(ParloStringTest, SubstringRuleClipsTheRange) {
  Parlo_String abcdef("abcdef");
  struct Case {
    int start, count;
    const char* expected;
  } cases[] = {
      {2, 100, "cdef"},
      {7, 1, ""},
      {6, 1, ""},
      {3, -2, "bc"},
      {0, 0, ""},
      {-5, 2, "ab"},
      {1, -5, "abcde"},
      {0, 6, "abcdef"},
      {2147483647, 1, ""},
      {1, -2147483647, "abcdef"},
      {3, 2147483647, "def"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(abcdef.Mid(c.start, c.count)), c.expected) << c.start << "," << c.count;
  }
  EXPECT_EQ(Text(Parlo_String("abc").Right(10)), "abc");
  EXPECT_EQ(Text(Parlo_String("abc").Right(2)), "bc");
  EXPECT_EQ(Text(Parlo_String("abc").Left(0)), "");
  EXPECT_EQ(Text(abcdef.Mid(4)), "ef");
  EXPECT_EQ(Text(Parlo_StringW(u"abcdef").Mid(3, -2)), u"bc");
  EXPECT_EQ(Text(Parlo_StringW(u"abcdef").Left(100)), u"abcdef");
  // Substrings of a null string are empty, never null.
  EXPECT_EQ(Text(Parlo_String(static_cast<const char*>(nullptr)).Mid(0, 3)), "");
}

TEST(ParloStringTest, TokenCutsTextAtSeparators) {
  Parlo_String lines("a\r\nbb\r\nccc");
  struct Case {
    const Parlo_String& text;
    const char* separator;
    int index;
    const char* expected;
  };
  Parlo_String adjacent("a\r\n\r\nb");
  Parlo_String none("abc");
  Case cases[] = {
      {lines, "\r\n", 0, "a"},
      {lines, "\r\n", 1, "bb"},
      {lines, "\r\n", 2, "ccc"},
      {lines, "\r\n", 3, "a\r\nbb\r\nccc"},
      {lines, "\r\n", -1, "a\r\nbb\r\nccc"},
      {adjacent, "\r\n", 1, ""},
      {adjacent, "\r\n", 2, "b"},
      {none, ",", 0, "abc"},
      {lines, "", 1, "a\r\nbb\r\nccc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(c.text.Token(c.separator, c.index)), c.expected) << c.index;
  }
}

TEST(ParloStringTest, SearchAndCount) {
  Parlo_String commas("a,b,,c");
  EXPECT_EQ(commas.Count(","), 3);
  EXPECT_EQ(Parlo_String("").Count(","), 0);
  EXPECT_EQ(Parlo_String("aaaa").Count("aa"), 2);  // occurrences never overlap
  EXPECT_EQ(commas.Count(""), 0);

  Parlo_String abcab("abcab");
  EXPECT_EQ(abcab.ReverseFind("ab"), 3);
  EXPECT_EQ(abcab.Find("b", 2), 4);
  EXPECT_EQ(abcab.Find("b"), 1);
  EXPECT_EQ(abcab.Find("b", 5), -1);
  EXPECT_EQ(abcab.Find("b", 99), -1);
  EXPECT_EQ(abcab.Find("b", -3), 1);
  EXPECT_EQ(abcab.Find("x"), -1);
  EXPECT_EQ(abcab.Find(""), -1);
  EXPECT_EQ(abcab.ReverseFind('a'), 3);
  EXPECT_EQ(abcab.ReverseFind('x'), -1);
  EXPECT_EQ(abcab.ReverseFind("abcabc"), -1);
  EXPECT_EQ(abcab.ReverseFind("abcab"), 0);

  Parlo_String null_string(static_cast<const char*>(nullptr));
  EXPECT_EQ(null_string.Find("a"), -1);
  EXPECT_EQ(null_string.ReverseFind('a'), -1);
  EXPECT_EQ(null_string.ReverseFind("a"), -1);
  EXPECT_EQ(null_string.Count("a"), 0);
}

TEST(ParloStringTest, TrimRemovesBlanksTabsAndLineBreaks) {
  Parlo_String s(" \t\r\nx y\n ");
  s.Trim();
  EXPECT_EQ(Text(s), "x y");
  Parlo_String blanks("    ");
  blanks.Trim();
  EXPECT_EQ(Text(blanks), "");
  Parlo_String left(" \tx ");
  left.TrimLeft();
  EXPECT_EQ(Text(left), "x ");
  // The narrow set is only blank, tab, CR and LF.
  Parlo_String vertical("x\v\f");
  vertical.TrimRight();
  EXPECT_EQ(Text(vertical), "x\v\f");
  Parlo_String null_string(static_cast<const char*>(nullptr));
  null_string.Trim();
  EXPECT_TRUE(null_string.IsNull());
}

TEST(ParloStringTest, WideTrimRightUsesTheSameSpaceTableOnEveryTarget) {
  Parlo_StringW s(u"x\u00a0 \t\n\v\f\r\u0085\u1680\u2000\u200a\u2028\u2029\u202f\u205f\u3000");
  s.TrimRight();
  EXPECT_EQ(Text(s), u"x");
  // A zero-width space and a non-space letter stay.
  Parlo_StringW kept(u"x\u200b");
  kept.TrimRight();
  EXPECT_EQ(Text(kept), u"x\u200b");
  Parlo_StringW only(u" \r\n");
  only.TrimRight();
  EXPECT_EQ(Text(only), u"");
}

TEST(ParloStringTest, ComparisonsAndCase) {
  Parlo_String lower("Connection");
  Parlo_String upper("CONNECTION");
  EXPECT_EQ(lower.CompareNoCase(upper), 0);
  EXPECT_FALSE(lower == upper);
  EXPECT_TRUE(lower != upper);
  EXPECT_LT(Parlo_String("abc").CompareNoCase(Parlo_String("ABD")), 0);
  EXPECT_GT(Parlo_String("abcd").CompareNoCase(Parlo_String("ABC")), 0);
  // Bytes above 127 compare by unsigned value and are not folded.
  EXPECT_GT(Parlo_String("\xC3").CompareNoCase(Parlo_String("z")), 0);
  Parlo_String null_string(static_cast<const char*>(nullptr));
  EXPECT_TRUE(null_string == Parlo_String(""));
  EXPECT_EQ(null_string.CompareNoCase(Parlo_String("")), 0);

  EXPECT_TRUE(Parlo_StringW(u"abc") == u"abc");
  EXPECT_FALSE(Parlo_StringW(u"abc") == u"ABC");
  EXPECT_FALSE(Parlo_StringW(u"abc") == u"ab");
  EXPECT_TRUE(Parlo_StringW(static_cast<const char16_t*>(nullptr)) == Parlo_StringW(u""));
}

TEST(ParloStringTest, ConcatenationTreatsNullAsEmpty) {
  Parlo_String null_string(static_cast<const char*>(nullptr));
  EXPECT_EQ(Text(null_string + "x"), "x");
  EXPECT_EQ(Text(Parlo_String("a") + null_string), "a");
  EXPECT_EQ(Text(Parlo_String("a") + static_cast<const char*>(nullptr)), "a");
  Parlo_String s("ab");
  s += s;  // appending its own text
  EXPECT_EQ(Text(s), "abab");
  s += s.Buffer() + 2;
  EXPECT_EQ(Text(s), "ababab");
  null_string += "y";
  EXPECT_EQ(Text(null_string), "y");

  Parlo_StringW w(u"ab");
  w += w;
  EXPECT_EQ(Text(w), u"abab");
  w += Parlo_StringW(static_cast<const char16_t*>(nullptr));
  EXPECT_EQ(Text(w), u"abab");
}

TEST(ParloStringTest, AssignmentAndNullState) {
  Parlo_String s("old");
  s = s;  // NOLINT: self-assignment must keep the text
  EXPECT_EQ(Text(s), "old");
  s = s.Buffer() + 1;  // a pointer into its own buffer
  EXPECT_EQ(Text(s), "ld");
  s = static_cast<const char*>(nullptr);
  EXPECT_TRUE(s.IsNull());
  EXPECT_EQ(s.Length(), 0);
  EXPECT_FALSE(Parlo_String().IsNull());

  Parlo_StringW w(u"keep");
  w = static_cast<const char16_t*>(nullptr);
  EXPECT_EQ(Text(w), u"keep");
  w = w.Buffer() + 2;
  EXPECT_EQ(Text(w), u"ep");
  w = w;  // NOLINT
  EXPECT_EQ(Text(w), u"ep");
  Parlo_StringW moved(std::move(w));
  EXPECT_EQ(Text(moved), u"ep");

  Parlo_String copy(s);
  EXPECT_TRUE(copy.IsNull());
  Parlo_String counted("a\0b", 3);
  EXPECT_EQ(std::memcmp(counted.Buffer(), "a\0b", 4), 0);
  Parlo_StringW wide_counted(u"a\0b", 3);
  EXPECT_EQ(wide_counted.Buffer()[2], u'b');
  EXPECT_EQ(wide_counted.Length(), 1);
}

TEST(ParloStringTest, Utf8ConversionBothWays) {
  Parlo_StringW accented("\xC3\xA9");
  EXPECT_EQ(accented.Length(), 1);
  EXPECT_EQ(accented.Buffer()[0], u'\u00e9');
  Parlo_String back(accented);
  EXPECT_EQ(Text(back), "\xC3\xA9");

  // Outside the basic plane a character counts two code units.
  Parlo_StringW emoji("\xF0\x9F\x98\x80");
  EXPECT_EQ(emoji.Length(), 2);
  Parlo_String emoji_back(emoji.Buffer());
  EXPECT_EQ(Text(emoji_back), "\xF0\x9F\x98\x80");

  EXPECT_TRUE(Parlo_StringW(static_cast<const char*>(nullptr)).IsNull());
  EXPECT_TRUE(Parlo_String(static_cast<const char16_t*>(nullptr)).IsNull());
  EXPECT_FALSE(Parlo_StringW("").IsNull());
  EXPECT_EQ(Parlo_StringW("").Length(), 0);

  Parlo_String assigned("x");
  assigned = u"\u20ac";
  EXPECT_EQ(Text(assigned), "\xE2\x82\xAC");
}

TEST(ParloStringTest, UnescapeDecodesBackslashHex) {
  struct Case {
    const char16_t* input;
    const char16_t* expected;
  } cases[] = {
      {u"a\\41b", u"aAb"},   {u"plain text", u"plain text"},
      {u"\\6a\\6A", u"jj"},  {u"\\414", u"A4"},  // at most two digits
      {u"\\4z", u"\u0004z"},                     // one digit: the next character stays
      {u"\\zz", u"\\zz"},                        // no digit: the backslash stays
      {u"end\\", u"end\\"},  {u"\\\\41", u"\\A"},
      {u"\\ff", u"\u00ff"},  {u"", u""},
  };
  for (const Case& c : cases) {
    Parlo_StringW s(c.input);
    s.Unescape();
    EXPECT_EQ(Text(s), c.expected);
  }
  Parlo_StringW null_string(static_cast<const char16_t*>(nullptr));
  null_string.Unescape();
  EXPECT_TRUE(null_string.IsNull());
}

TEST(ParloStringTest, Base64) {
  struct Case {
    const char* input;
    const char* expected;
  } cases[] = {
      {"abc", "YWJj"},
      {"ab", "YWI="},
      {"a", "YQ=="},
      {"", ""},
      {"user:pass", "dXNlcjpwYXNz"},
      {"\xff\xfe\xfd\xfc", "//79/A=="},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(Parlo_String(c.input).ToBase64()), c.expected) << c.input;
    EXPECT_EQ(Text(Parlo_String::Base64(c.input, static_cast<int>(std::strlen(c.input)))),
              c.expected);
  }
  const unsigned char zeros[2] = {0, 0};
  EXPECT_EQ(Text(Parlo_String::Base64(zeros, 2)), "AAA=");
  EXPECT_EQ(Text(Parlo_String::Base64(nullptr, 5)), "");
  EXPECT_EQ(Text(Parlo_String(static_cast<const char*>(nullptr)).ToBase64()), "");
}

TEST(ParloStringTest, SystemErrorTextIsRightTrimmed) {
  // Code 2 is "file not found" on both targets.
  Parlo_StringW text = Parlo_StringW::FromSystemError(2);
  ASSERT_FALSE(text.IsNull());
  ASSERT_GT(text.Length(), 0);
  char16_t last = text.Buffer()[text.Length() - 1];
  EXPECT_NE(last, u'\n');
  EXPECT_NE(last, u'\r');
  EXPECT_NE(last, u' ');
}

}  // namespace
