#include "common/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/parlo_string.h"

namespace {

std::string Text(const Parlo_String& s) { return s.Buffer() == nullptr ? "<null>" : s.Buffer(); }
std::u16string Text(const Parlo_StringW& s) {
  return s.Buffer() == nullptr ? u"<null>" : s.Buffer();
}

struct Measured {
  size_t estimate;
  size_t length;  // formatted with room to spare
};

Measured Measure(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list scan;
  va_copy(scan, args);
  Measured m;
  m.estimate = FormatEstimate(format, scan);
  va_end(scan);
  std::vector<char> out(1 << 16);
  m.length = FormatBounded(out.data(), out.size() - 1, format, args);
  va_end(args);
  return m;
}

Measured MeasureW(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  va_list scan;
  va_copy(scan, args);
  Measured m;
  m.estimate = FormatEstimateW(format, scan);
  va_end(scan);
  std::vector<char16_t> out(1 << 16);
  m.length = FormatBoundedW(out.data(), out.size() - 1, format, args);
  va_end(args);
  return m;
}

size_t Bounded(char* out, size_t max, const char* format, ...) {
  va_list args;
  va_start(args, format);
  size_t n = FormatBounded(out, max, format, args);
  va_end(args);
  return n;
}

TEST(FormatTest, NarrowConversions) {
  struct Case {
    const char* expected;
    Parlo_String actual;
  } cases[] = {
      {"000000FF", Parlo_String::Format("%08X", 255)},
      {"-42|-2147483648", Parlo_String::Format("%d|%d", -42, INT_MIN)},
      {"-0042|  -42|-42  |", Parlo_String::Format("%05d|%5d|%-5d|", -42, -42, -42)},
      {"+5| 5|ffffffff", Parlo_String::Format("%+d|% d|%x", 5, 5, -1)},
      {"0xff|0XFF|010|0|0x0", Parlo_String::Format("%#x|%#X|%#o|%#o|0x%x", 255, 255, 8, 0, 0)},
      {"[]|[007]|[  007]", Parlo_String::Format("[%.0d]|[%.3d]|[%5.3d]", 0, 7, 7)},
      {"9223372036854775807|-9223372036854775808|18446744073709551615",
       Parlo_String::Format("%I64d|%lld|%I64u", INT64_MAX, INT64_MIN, UINT64_MAX)},
      {"123456789012 7", Parlo_String::Format("%I64d %d", int64_t{123456789012}, 7)},
      {"4464|-5|7|65535", Parlo_String::Format("%hd|%ld|%I32d|%hu", 70000, -5, 7, -1)},
      {"18446744073709551615 1", Parlo_String::Format("%zu %d", SIZE_MAX, 1)},
      {"1777777777777777777777", Parlo_String::Format("%llo", UINT64_MAX)},
      {" 3.14|3.142e+04|3.142E+04|1e-10|1E+20|0.0001",
       Parlo_String::Format("%5.2f|%.3e|%.3E|%g|%G|%g", 3.14159, 31415.9, 31415.9, 1e-10, 1e20,
                            0.0001)},
      {"-1.50   |+2.0|002.5", Parlo_String::Format("%-8.2f|%+.1f|%05.1f", -1.5, 2.0, 2.5)},
      {"abc     |     abc|ab", Parlo_String::Format("%-8s|%8s|%.2s", "abc", "abc", "abcdef")},
      {"(null)|(null)", Parlo_String::Format("%s|%S", static_cast<const char*>(nullptr),
                                             static_cast<const char16_t*>(nullptr))},
      {"Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC \xF0\x9F\x98\x80",
       Parlo_String::Format("%S", u"Grüße € \U0001F600")},
      {"x|\xC3\xA9|  y", Parlo_String::Format("%c|%C|%3c", 'x', u'\u00e9', 'y')},
      {"0000000000001234|00000000DEADBEEF",
       Parlo_String::Format("%p|%p", reinterpret_cast<void*>(0x1234),
                            reinterpret_cast<void*>(0xDEADBEEF))},
      {"100%", Parlo_String::Format("%d%%", 100)},
      {"   42|42   |x", Parlo_String::Format("%*d|%-*d|%s", 5, 42, -5, 42, "x")},
      {"ab|x", Parlo_String::Format("%.*s|%s", 2, "abc", "x")},
      // An unknown letter is written as it stands and takes no argument.
      {"%k 5|%-3y 6", Parlo_String::Format("%k %d|%-3y %d", 5, 6)},
      {"abc%", Parlo_String::Format("abc%")},
      {"%5", Parlo_String::Format("%5")},
      {"%I 3", Parlo_String::Format("%I %d", 3)},
  };
  for (const Case& c : cases) EXPECT_EQ(Text(c.actual), c.expected);
}

TEST(FormatTest, WideConversionsReadLikeTheLogLines) {
  struct Case {
    const char16_t* expected;
    Parlo_StringW actual;
  } cases[] = {
      {u"[sock] Socket error 10061 - (Connection refused)",
       Parlo_StringW::Format(u"[sock] Socket error %d - (%s)", 10061, u"Connection refused")},
      {u"[update] AddFile: Grüße.dds - 1024 bytes\n",
       Parlo_StringW::Format(u"[update] AddFile: %S - %d bytes\n",
                             "Gr\xC3\xBC\xC3\x9F"
                             "e.dds",
                             1024)},
      {u"[http] <0000BEEF> Transfer is streamed\n",
       Parlo_StringW::Format(u"[http] <%08X> Transfer is streamed\n", 0xBEEF)},
      {u"[update] 3/10 (ä) - €",
       Parlo_StringW::Format(u"[update] %d/%d (%s) - %s", 3, 10, u"ä", u"€")},
      {u"\u00e9|x|\ufffd", Parlo_StringW::Format(u"%c|%C|%C", u'\u00e9', 'x', 0xC3)},
      {u"-9223372036854775808 ok", Parlo_StringW::Format(u"%I64d %s", INT64_MIN, u"ok")},
      {u"  3.14|1.500000e+00", Parlo_StringW::Format(u"%6.2f|%e", 3.14159, 1.5)},
      {u"(null)|(null)", Parlo_StringW::Format(u"%s|%S", static_cast<const char16_t*>(nullptr),
                                               static_cast<const char*>(nullptr))},
      {u"00000000000000FF", Parlo_StringW::Format(u"%p", reinterpret_cast<void*>(0xFF))},
      {u"%q 1", Parlo_StringW::Format(u"%q %d", 1)},
      {u"\U0001F600|\U0001F600",
       Parlo_StringW::Format(u"%s|%S", u"\U0001F600", "\xF0\x9F\x98\x80")},
      {u"   ab", Parlo_StringW::Format(u"%*s", 5, u"ab")},
  };
  for (const Case& c : cases) EXPECT_EQ(Text(c.actual), c.expected);
}

TEST(FormatTest, NullFormatGivesAnEmptyString) {
  Parlo_String narrow = Parlo_String::Format(nullptr);
  EXPECT_FALSE(narrow.IsNull());
  EXPECT_EQ(narrow.Length(), 0);
  Parlo_StringW wide = Parlo_StringW::Format(nullptr);
  EXPECT_FALSE(wide.IsNull());
  EXPECT_EQ(wide.Length(), 0);
  char out[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(Bounded(out, 3, nullptr), 0u);
  EXPECT_EQ(out[0], 0);
}

TEST(FormatTest, BoundedOutputIsCutAndTerminated) {
  char out[8];
  std::memset(out, 'x', sizeof(out));
  EXPECT_EQ(Bounded(out, 3, "abcdef"), 3u);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(Bounded(out, 4, "%d", 123456), 4u);
  EXPECT_STREQ(out, "1234");
  EXPECT_EQ(Bounded(out, 5, "%-8s|", "ab"), 5u);
  EXPECT_STREQ(out, "ab   ");
  EXPECT_EQ(Bounded(out, 0, "abc"), 0u);
  EXPECT_STREQ(out, "");
}

TEST(FormatTest, EstimateFollowsThePreScanTable) {
  struct Case {
    size_t expected;
    Measured m;
  } cases[] = {
      {3, Measure("abc")},
      {2, Measure("%%x")},
      {32, Measure("%d", 1)},
      {32, Measure("%08X", 255)},  // the width figure 8 is below 32
      {32, Measure("%I64d", INT64_MIN)},
      {100, Measure("%100d", 1)},
      {2, Measure("%c", 'x')},
      {320, Measure("%5.2f", 3.14)},
      {8, Measure("%s", "abc")},
      {10, Measure("%s", static_cast<const char*>(nullptr))},
      {15, Measure("%10s", "abc")},
      {1, MeasureW(u"%C", 'x')},
      {2, MeasureW(u"%c", u'x')},
      {32, MeasureW(u"%p", static_cast<void*>(nullptr))},
      {7 + 32, MeasureW(u"%*d", 7, 1)},
      {8, MeasureW(u"%S", "abc")},
      // "%-8s": the flag makes the width figure 1, the digit then makes it 18.
      {23, MeasureW(u"%-8s", u"abc")},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    EXPECT_EQ(cases[i].m.estimate, cases[i].expected) << "case " << i;
  }
}

TEST(FormatTest, EstimateIsNeverShorterThanTheOutput) {
  static char16_t long_wide[600];
  for (int i = 0; i < 599; ++i) long_wide[i] = u'\u20ac';  // three UTF-8 bytes each
  static char long_narrow[600];
  for (int i = 0; i < 599; ++i) long_narrow[i] = 'n';
  Measured cases[] = {
      Measure("%S", long_wide),
      Measure("%C|%C", u'\u20ac', 0xD800),
      Measure("%20s|%-20S", static_cast<const char*>(nullptr),
              static_cast<const char16_t*>(nullptr)),
      Measure("%5c|%-4c|", 'a', 'b'),
      Measure("%f", 1.7976931348623157e308),
      Measure("%.40f", -1.7976931348623157e308),
      Measure("%#.50g|%.60e", 1e-5, 1e300),
      Measure("%*.*f", 30, 20, 1e300),
      Measure("%-*d|%*s", -40, 1, -50, "x"),
      Measure("%#llo|%+I64d|%#X", UINT64_MAX, INT64_MIN, 0xFFFFFFFFu),
      Measure("%.300d", 5),
      Measure("%k%z%I%l"),
      Measure("%-+ #012.8p", reinterpret_cast<void*>(1)),
      Measure("unfinished %-12.4"),
      MeasureW(u"%S", long_narrow),
      MeasureW(u"%S", "\xC3\xA9\xFF\xFE"),
      MeasureW(u"%5C|%C", 'a', 0xE9),
      MeasureW(u"%.*d", 100, 7),
      MeasureW(u"%*s", -30, u"x"),
      MeasureW(u"%1000s", u"abc"),
      MeasureW(u"%g %G %e %E", 1e300, -1e-300, 0.0, -0.0),
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    EXPECT_GE(cases[i].estimate, cases[i].length) << "case " << i;
  }
}

TEST(FormatTest, LongTextIsNotCut) {
  std::string text(5000, 'q');
  Parlo_String formatted = Parlo_String::Format("<%s>", text.c_str());
  EXPECT_EQ(formatted.Length(), 5002);
  std::u16string wide(3000, u'\u00e9');
  Parlo_String utf8 = Parlo_String::Format("%S", wide.c_str());
  EXPECT_EQ(utf8.Length(), 6000);
}

}  // namespace
