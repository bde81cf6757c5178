#include "common/typed_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "common/typed_text_json.h"
#include "common/typed_text_writer.h"

namespace {

std::string Utf8(const char16_t* text) {
  if (text == nullptr) return "(null)";
  Parlo_String narrow(text);
  return narrow.Buffer() == nullptr ? "" : narrow.Buffer();
}

template <class T>
std::string Number(T value) {
  char buffer[48];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

template <class T>
std::string Join(const T* values, int count, const char* separator) {
  std::string out;
  for (int k = 0; k < count; ++k) out += (k > 0 ? separator : "") + Number(values[k]);
  return out;
}

std::string Describe(const Parlo_TypedNodeList& list);

// A compact picture of a node: {name:type:value}.
std::string Describe(const Parlo_TypedNode& node) {
  std::string out = "{" + Utf8(node.name.Buffer()) + ":";
  if (node.type != 0) {
    char16_t type[2] = {node.type, 0};
    out += Utf8(type);
  }
  out += ":";
  switch (node.type) {
    case 0:
      break;
    case u'i':
    case u'n':
      out += Number(node.AsInt());
      break;
    case u'L':
    case u'm':
      out += Number(node.AsInt64());
      break;
    case u'f':
      out += Number(node.AsFloat());
      break;
    case u'$':
      out += Utf8(node.AsText());
      break;
    case u'2':
      for (int k = 0; k < node.size; ++k) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", node.AsBytes()[k]);
        out += hex;
      }
      break;
    case u'3':
      out += Join(node.AsWords(), 3, ".");
      break;
    case u'p':
      out += Join(node.AsWords(), 2, ".");
      break;
    case u'r':
      out += Join(node.AsWords(), 4, ".");
      break;
    case u'd':
      out += Join(node.AsDate(), 6, ".");
      break;
    case u'c':
    case u't': {
      int bytes[4];
      for (int k = 0; k < 4; ++k) bytes[k] = node.AsBytes()[k];
      out += Join(bytes, 4, ".");
      break;
    }
    case u'4':
    case u'N':
      out += Join(node.AsIntList()->data, node.AsIntList()->count, ",");
      break;
    case u'6':
      out += Join(node.AsInt64List()->data, node.AsInt64List()->count, ",");
      break;
    case u'5':
      for (int k = 0; k < node.AsTextList()->count; ++k) {
        out += (k > 0 ? ",\"" : "\"") + Utf8(node.AsTextList()->data[k].Buffer()) + "\"";
      }
      break;
    case u'[':
      out += "[" + Describe(*node.AsList()) + "]";
      break;
    default:
      out += Utf8(node.AsRaw());
  }
  return out + "}";
}

std::string Describe(const Parlo_TypedNodeList& list) {
  std::string out;
  for (int k = 0; k < list.Count(); ++k) out += Describe(list.At(k));
  return out;
}

Parlo_TypedText ParseText(const std::u16string& text) {
  return Parlo_TypedText(text.data(), static_cast<int32_t>(text.size()));
}

struct ParseCase {
  const char16_t* text;
  const char* header1;
  const char* header2;
  const char* nodes;
};

// Every text here yields exactly the headers and the nodes beside it.
const ParseCase kParseCases[] = {
    {u"#defaultLanguage=i1a", "", "", "{defaultLanguage:i:26}"},
    {u"#defaultLanguage=i-10", "", "", "{defaultLanguage:i:-16}"},
    {u"#a=", "", "", "{a::}"},
    {u"#a=4", "", "", "{a:4:}"},
    {u"#a=5", "", "", "{a:5:\"\"}"},
    {u"#a=41,2,-3", "", "", "{a:4:1,2,-3}"},
    {u"#a=NA,1", "", "", "{a:N:0,1}"},
    {u"#a=N1,,2", "", "", "{a:N:1,0,2}"},
    {u"#a=6-ff", "", "", "{a:6:-255}"},
    {u"#a=$x\\23y", "", "", "{a:$:x#y}"},
    {u"#a=$x#y", "", "", "{a:$:x}{y::}"},
    {u"#a=[]", "", "", "{a:[:[]}"},
    {u"#a=[", "", "", "{a:[:[]}"},
    {u"#a=$", "", "", "{a:$:}"},
    {u"#a=L", "", "", "{a:L:0}"},
    {u"#a=i-", "", "", "{a:i:0}"},
    {u"#a=i1 \r\n#b=i2\r\n", "", "", "{a:i:1}{b:i:2}"},
    {u"# a=i1", "", "", "{ a:i:1}"},
    {u"#a=20aFf", "", "", "{a:2:0aff}"},
    {u"#a=2abc", "", "", "{a:2:ab}"},
    {u"#a=t41424344", "", "", "{a:t:65.66.67.68}"},
    {u"#a=c1.2.3.ff", "", "", "{a:c:1.2.3.255}"},
    {u"#a=d2014.1.2.3.4.5", "", "", "{a:d:2014.1.2.3.4.5}"},
    {u"#a=r1.2.3.a", "", "", "{a:r:1.2.3.10}"},
    {u"#a=p10.20", "", "", "{a:p:16.32}"},
    {u"#a=31.2.3", "", "", "{a:3:1.2.3}"},
    {u"#a=f1.5", "", "", "{a:f:1.5}"},
    {u"#a=fx", "", "", "{a:f:-3.2202}"},
    {u"#a=mx", "", "", "{a:m:0}"},
    {u"list:1:#a=i1", "list", "1", "{a:i:1}"},
    {u"list:#a=$b:c", "list", "", "{a:$:b:c}"},
    {u"x#a=i1", "", "", "{a:i:1}"},
    // Headers need a ":" before the first "#" and are never empty.
    {u":x:#a=i1", "", "", "{a:i:1}"},
    {u"x#a=i1:y", "", "", "{a:i:256}"},
    {u"h::#a=i1", "h", "", "{a:i:1}"},
    {u"h1:h2:", "h1", "h2", ""},
    // Start values and the formatted readers.
    {u"#a=tx", "", "", "{a:t:0.1.226.64}"},
    {u"#a=fabc#b=f 1e3#c=f-.5e-1#d=f1e999#e=f-1e-999#g=f2.5e", "", "",
     "{a:f:-3.2202}{b:f:1000}{c:f:-0.05}{d:f:inf}{e:f:-0}{g:f:2.5}"},
    {u"#a=3 0x1f. 2#b=p-1#c=c100.1FF.x", "", "", "{a:3:31.2.0}{b:p:4294967295.0}{c:c:0.255.0.0}"},
    {u"#a=n-2147483648#b=n4294967297#c=m-9223372036854775808#d=n+7x", "", "",
     "{a:n:-2147483648}{b:n:1}{c:m:-9223372036854775808}{d:n:7}"},
    // Hand-read hexadecimal wraps at the width of the type.
    {u"#a=i80000000#b=i-80000000#c=i123456789#d=L-8000000000000000#e=ig", "", "",
     "{a:i:-2147483648}{b:i:-2147483648}{c:i:591751049}{d:L:-9223372036854775808}{e:i:0}"},
    {u"#a=d1.2#b=r1", "", "", "{a:d:1.2.0.0.0.0}{b:r:1.0.0.0}"},
    {u"#a=5x,\\2Cy,#b=4-,- 1a", "", "", "{a:5:\"x\",\",y\",\"\"}{b:4:0,-26}"},
    {u"#a=6ffffffffffffffff,-8000000000000000", "", "", "{a:6:-1,-9223372036854775808}"},
    // Items without "=", empty names and letters without a reader.
    {u"#abc#=i1#a=Zx y", "", "", "{abc::}{:i:1}{a:Z:x y}"},
    // Brackets count wherever they stand, also inside texts.
    {u"#a=$[#b=i1]#c=i2", "", "", "{a:$:[#b=i1]}{c:i:2}"},
    {u"#a=[|b=i1|c=$z]#d=n7", "", "", "{a:[:[{b:i:1}{c:$:z}]}{d:n:7}"},
    {u"#a=[|b=[|c=i1|d=i2]|e=i3]", "", "", "{a:[:[{b:[:[{c:i:1}{d:i:2}]}{e:i:3}]}"},
    {u"#a=[|b=i1 \r\n|c=i2\n]", "", "", "{a:[:[{b:i:1}{c:i:2}]}"},
    {u"#a=[|b=i1", "", "", "{a:[:[{b:i:0}]}"},
    // The worked example of common/typed_text_format.md.
    {u"list:1:#resources=[|a.dds=[|version=i2|path=$data/a\\20b.dds]]\n#date=$2026-12-10\n", "list",
     "1", "{resources:[:[{a.dds:[:[{version:i:2}{path:$:data/a b.dds}]}]}{date:$:2026-12-10}"},
    // "|" separates only inside a list; elsewhere it is a character like others.
    {u"#a=i1|b=i2", "", "", "{a:i:1093634}"},
};

TEST(TypedTextTest, ParsesEveryCaseOfTheTable) {
  for (const ParseCase& c : kParseCases) {
    SCOPED_TRACE(Utf8(c.text));
    Parlo_TypedText doc(c.text, static_cast<int32_t>(std::char_traits<char16_t>::length(c.text)));
    EXPECT_EQ(Utf8(doc.header1.Buffer()), c.header1);
    EXPECT_EQ(Utf8(doc.header2.Buffer()), c.header2);
    EXPECT_EQ(Describe(doc.root), c.nodes);
    EXPECT_EQ(doc.source, c.text);
  }
}

TEST(TypedTextTest, SizesFollowTheTypeTable) {
  Parlo_TypedText doc = ParseText(
      u"#a=$#b=$ab#c=20aFf#d=31.2.3#e=L1#f=c1.2.3.4#g=d1.2.3.4.5.6#h=f1#i=i1#m=m1#n=n1"
      u"#p=p1.2#r=r1.2.3.4#t=t1#l=[]#x=41#y=");
  const std::pair<const char16_t*, int> sizes[] = {
      {u"a", 2},  {u"b", 6}, {u"c", 2}, {u"d", 12}, {u"e", 8}, {u"f", 4},
      {u"g", 24}, {u"h", 4}, {u"i", 4}, {u"m", 8},  {u"n", 4}, {u"p", 8},
      {u"r", 16}, {u"t", 4}, {u"l", 0}, {u"x", 0},  {u"y", 0}};
  for (const auto& [name, size] : sizes) {
    SCOPED_TRACE(Utf8(name));
    ASSERT_NE(doc.root.Find(name), nullptr);
    EXPECT_EQ(doc.root.Get(name).size, size);
  }
}

TEST(TypedTextTest, FindGetAndAtNeverHandOutAMissingNode) {
  Parlo_TypedText doc = ParseText(u"#a=i1#a=i2#l=[|x=$v|y=n5]");
  EXPECT_EQ(doc.root.Find(u"A"), nullptr);
  EXPECT_EQ(doc.root.Find(nullptr), nullptr);
  EXPECT_EQ(doc.root.Find(u"a")->AsInt(), 1);  // the first of two
  EXPECT_EQ(doc.root.Get(u"a").AsInt(), 1);

  const Parlo_TypedNode& missing = doc.root.Get(u"nothing");
  EXPECT_EQ(missing.type, 0);
  EXPECT_EQ(missing.Count(), 0);
  EXPECT_EQ(missing.AsText(), nullptr);
  EXPECT_EQ(doc.root.At(-1).type, 0);
  EXPECT_EQ(doc.root.At(3).type, 0);
  EXPECT_EQ(&doc.root.At(2), doc.root.Find(u"l"));

  // A list node answers for its children; any other node as an empty list.
  const Parlo_TypedNode& list = doc.root.Get(u"l");
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(Utf8(list.Get(u"x").AsText()), "v");
  EXPECT_EQ(list.At(1).AsInt(), 5);
  EXPECT_EQ(list.Find(u"z"), nullptr);
  EXPECT_EQ(doc.root.At(0).Count(), 0);
  EXPECT_EQ(doc.root.At(0).At(0).type, 0);
  EXPECT_EQ(doc.root.At(0).Find(u"x"), nullptr);
}

TEST(TypedTextTest, AccessorsAnswerNothingForAnotherType) {
  Parlo_TypedText doc = ParseText(u"#t=$5#i=i5#l=[|a=i1]#n=N1");
  const Parlo_TypedNode& text = doc.root.Get(u"t");
  EXPECT_EQ(text.AsInt(), 0);
  EXPECT_EQ(text.AsInt64(), 0);
  EXPECT_EQ(text.AsList(), nullptr);
  EXPECT_EQ(text.AsIntList(), nullptr);
  EXPECT_EQ(text.AsBytes(), nullptr);
  EXPECT_EQ(text.AsRaw(), nullptr);
  EXPECT_EQ(doc.root.Get(u"i").AsText(), nullptr);
  EXPECT_EQ(doc.root.Get(u"i").AsInt64(), 0);
  EXPECT_EQ(doc.root.Get(u"l").AsTextList(), nullptr);
  EXPECT_EQ(doc.root.Get(u"n").AsInt64List(), nullptr);
  EXPECT_EQ(doc.root.Get(u"n").AsWords(), nullptr);
}

TEST(TypedTextTest, CopiesAreDeepAndIndependent) {
  Parlo_TypedText doc = ParseText(u"#l=[|a=[|b=$deep]|n=41,2]#s=5x,y");
  Parlo_TypedNodeList copy = doc.root;
  Parlo_TypedNode node = doc.root.Get(u"l");
  doc.Parse(u"#other=i1");
  EXPECT_EQ(Describe(copy), "{l:[:[{a:[:[{b:$:deep}]}{n:4:1,2}]}{s:5:\"x\",\"y\"}");
  EXPECT_EQ(Describe(node), "{l:[:[{a:[:[{b:$:deep}]}{n:4:1,2}]}");
  // Assigning a node its own child keeps the child alive until it is copied.
  node = node.At(0);
  EXPECT_EQ(Describe(node), "{a:[:[{b:$:deep}]}");
}

TEST(TypedTextTest, NestingDeeperThanTheBoundReadsAsAnEmptyList) {
  std::u16string text = u"#a=";
  int levels = kTypedTextMaxDepth + 10;
  for (int k = 0; k < levels; ++k) text += u"[|b=";
  text += u"i1";
  for (int k = 0; k < levels; ++k) text += u"]";
  Parlo_TypedText doc = ParseText(text);
  const Parlo_TypedNode* node = &doc.root.At(0);
  int depth = 0;
  while (node->Count() > 0) {
    node = &node->At(0);
    ++depth;
  }
  EXPECT_EQ(depth, kTypedTextMaxDepth);
  EXPECT_EQ(node->type, u'[');

  // A million brackets neither recurse nor take long.
  std::u16string deep = u"#a=" + std::u16string(1000000, u'[') + u"#b=i1";
  EXPECT_EQ(ParseText(deep).root.Count(), 1);
}

TEST(TypedTextTest, ParseItemsAndParseItemStopAtAZero) {
  Parlo_TypedNodeList list;
  const char16_t text[] = u"#a=i1\0#b=i2";
  Parlo_TypedText::ParseItems(text, 11, &list);
  EXPECT_EQ(Describe(list), "{a:i:1}");
  Parlo_TypedNode node;
  Parlo_TypedText::ParseItem(u"x=[|y=n3]", 9, &node);
  EXPECT_EQ(Describe(node), "{x:[:[{y:n:3}]}");
  Parlo_TypedText doc(text, 11);
  EXPECT_EQ(doc.root.Count(), 1);
  Parlo_TypedText none(nullptr, 5);
  EXPECT_EQ(none.root.Count(), 0);
}

// ---- Resource list ---------------------------------------------------------

std::u16string ResourceList(int count) {
  std::string text = "#resources=[";
  for (int k = 0; k < count; ++k) {
    std::string name = "textures/item" + std::to_string(k) + ".dds";
    text += "|" + name + "=[|version=i" + std::to_string(k % 9 + 1) + "|language=i0|size=i" +
            std::to_string(1000 + k) + "|path=$data/" + name + "|compression=i1" +
            (k % 3 == 0 ? "|target=$Layers" : "") + "|hash=iDEADBEEF]";
  }
  text += "]\r\n#date=$2026-12-10\r\n#mirrors=[|m1=[|url=$http://mirror1.example/]]";
  std::u16string wide;
  for (char c : text) wide.push_back(static_cast<char16_t>(c));
  return wide;
}

TEST(TypedTextTest, ReadsAResourceListOfTwentyThousandEntries) {
  Parlo_TypedText doc = ParseText(ResourceList(20000));
  ASSERT_EQ(doc.root.Count(), 3);
  const Parlo_TypedNode& resources = doc.root.Get(u"resources");
  ASSERT_EQ(resources.Count(), 20000);
  const Parlo_TypedNode& last = resources.At(19999);
  EXPECT_EQ(last.name, u"textures/item19999.dds");
  EXPECT_EQ(last.Get(u"version").AsInt(), 19999 % 9 + 1);
  EXPECT_EQ(last.Get(u"compression").AsInt(), 1);
  EXPECT_EQ(Utf8(last.Get(u"path").AsText()), "data/textures/item19999.dds");
  EXPECT_EQ(resources.At(3).Find(u"target") != nullptr, true);
  EXPECT_EQ(resources.At(4).Find(u"target"), nullptr);
  EXPECT_EQ(static_cast<uint32_t>(resources.At(0).Get(u"hash").AsInt()), 0xDEADBEEFu);
  EXPECT_NE(doc.root.Find(u"date"), nullptr);
  EXPECT_EQ(Utf8(doc.root.Get(u"mirrors").At(0).Get(u"url").AsText()), "http://mirror1.example/");
}

// ---- Writer ----------------------------------------------------------------

TEST(TypedTextWriterTest, WritesItemsWithEscapedTexts) {
  Parlo_TypedText doc;
  doc.header1 = u"list";
  Parlo_TypedNodeList children;
  children.Add(Parlo_TypedNode::Int(u"version", -16));
  children.Add(Parlo_TypedNode::Text(u"path", u"a#b[c]|d,e\\f= "));
  doc.root.Add(Parlo_TypedNode::List(u"r", children));
  doc.root.Add(Parlo_TypedNode::Decimal(u"n", 7));
  doc.root.Add(Parlo_TypedNode::Int64(u"big", 0x123456789A));
  doc.root.Add(Parlo_TypedNode::Empty(u"none"));
  Parlo_StringW text;
  ASSERT_TRUE(TypedTextWrite(doc, &text));
  EXPECT_EQ(Utf8(text.Buffer()),
            "list:#r=[|version=i-10|path=$a\\23b\\5Bc\\5D\\7Cd\\2Ce\\5Cf=\\20]\n#n=n7\n"
            "#big=L123456789A\n#none=");
}

TEST(TypedTextWriterTest, RefusesWhatTheFormatCannotCarry) {
  auto refused = [](const Parlo_TypedNode& node) {
    Parlo_TypedNodeList list;
    list.Add(node);
    Parlo_StringW out = u"old";
    bool ok = TypedTextWriteList(list, &out);
    return !ok && out.IsNull();
  };
  for (const char16_t* name : {u"", u"a#", u"a[", u"a]", u"a|b", u"a=b", u"a ", u"a\t"}) {
    SCOPED_TRACE(Utf8(name));
    EXPECT_TRUE(refused(Parlo_TypedNode::Int(name, 1)));
  }
  EXPECT_FALSE(refused(Parlo_TypedNode::Int(u" a:b,c\\$", 1)));
  EXPECT_TRUE(refused(Parlo_TypedNode::Text(u"a", u"ends in\x3000")));
  EXPECT_FALSE(refused(Parlo_TypedNode::Text(u"a", u"\x3000inside\x3000x")));
  EXPECT_TRUE(refused(Parlo_TypedNode::TextList(u"a", nullptr, 0)));
  EXPECT_TRUE(refused(Parlo_TypedNode::Float(u"a", std::nanf(""))));
  EXPECT_TRUE(refused(Parlo_TypedNode::Raw(u"a", u'Z', u"x|y")));
  EXPECT_TRUE(refused(Parlo_TypedNode::Raw(u"a", u'|', u"x")));
  EXPECT_TRUE(refused(Parlo_TypedNode::Raw(u"a", u' ', u"")));

  Parlo_TypedText doc;
  doc.header1 = u"a:b";
  EXPECT_TRUE(TypedTextWrite(doc).IsNull());
  doc.header1 = u"";
  doc.header2 = u"b";
  EXPECT_TRUE(TypedTextWrite(doc).IsNull());

  Parlo_TypedNode deep = Parlo_TypedNode::Int(u"x", 1);
  for (int k = 0; k <= kTypedTextMaxDepth; ++k) {
    Parlo_TypedNodeList one;
    one.Add(deep);
    deep = Parlo_TypedNode::List(u"l", one);
  }
  EXPECT_TRUE(refused(deep));
  EXPECT_FALSE(refused(deep.At(0)));
}

// Random trees of every type, with names and texts full of the characters the
// splitter reacts to.
class TreeMaker {
 public:
  explicit TreeMaker(uint32_t seed) : random_(seed) {}

  Parlo_TypedText Document() {
    Parlo_TypedText doc;
    if (Pick(3) > 0) doc.header1 = Header();
    if (doc.header1.Length() > 0 && Pick(2) == 0) doc.header2 = Header();
    doc.root = Nodes(0);
    return doc;
  }

 private:
  uint32_t Pick(uint32_t n) { return static_cast<uint32_t>(random_() % n); }

  Parlo_StringW Name() {
    static const char16_t kChars[] = u"abcXYZ019 :,.\\$_-\x00e9\x3000";
    std::u16string name;
    int length = 1 + static_cast<int>(Pick(8));
    for (int k = 0; k < length; ++k) name += kChars[Pick(sizeof kChars / 2 - 1)];
    while (!name.empty() && TypedTextIsSpace(name.back())) name.pop_back();
    if (name.empty()) name = u"n";
    return Parlo_StringW(name.data(), static_cast<int>(name.size()));
  }

  Parlo_StringW Header() {
    static const char16_t kChars[] = u"abc XYZ019,.\\$_-[]|=\x00e9";
    std::u16string text;
    int length = 1 + static_cast<int>(Pick(8));
    for (int k = 0; k < length; ++k) text += kChars[Pick(sizeof kChars / 2 - 1)];
    return Parlo_StringW(text.data(), static_cast<int>(text.size()));
  }

  Parlo_StringW NastyText() {
    static const char16_t kChars[] =
        u"ab#[]|,\\=:$ \t\r\n\x7f\x00a0\x00ff\x0100\x3000\xd83d\xde00-09Ff";
    std::u16string text;
    int length = static_cast<int>(Pick(12));
    for (int k = 0; k < length; ++k) text += kChars[Pick(sizeof kChars / 2 - 1)];
    // White space above 0xFF cannot end a text; everything else can.
    if (!text.empty() && text.back() > 0xFF && TypedTextIsSpace(text.back())) text += u'.';
    return Parlo_StringW(text.data(), static_cast<int>(text.size()));
  }

  uint32_t Word() {
    static const uint32_t kEdges[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x123};
    return Pick(3) == 0 ? kEdges[Pick(6)] : static_cast<uint32_t>(random_());
  }
  int64_t Wide() { return static_cast<int64_t>(uint64_t{Word()} << 32 | Word()); }

  Parlo_TypedNodeList Nodes(int depth) {
    Parlo_TypedNodeList list;
    int count = static_cast<int>(Pick(depth == 0 ? 8 : 5));
    for (int k = 0; k < count; ++k) list.Add(Node(depth));
    return list;
  }

  Parlo_TypedNode Node(int depth) {
    static const char16_t kTypes[] = u"$23456LN[cdfimnprtZ\0";
    Parlo_StringW name_text = Name();
    const char16_t* name = name_text.Buffer();
    char16_t type = kTypes[Pick(sizeof kTypes / 2 - 1)];
    uint32_t words[6];
    for (uint32_t& w : words) w = Word();
    switch (type) {
      case u'$':
        return Parlo_TypedNode::Text(name, NastyText());
      case u'2': {
        uint8_t bytes[7];
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(Word());
        return Parlo_TypedNode::Bytes(name, bytes, static_cast<int32_t>(Pick(8)));
      }
      case u'3':
      case u'p':
      case u'r':
        return Parlo_TypedNode::Words(name, type, words);
      case u'4':
      case u'N': {
        int32_t ints[5];
        for (int32_t& v : ints) v = static_cast<int32_t>(Word());
        return Parlo_TypedNode::IntList(name, type, ints, static_cast<int32_t>(Pick(6)));
      }
      case u'5': {
        Parlo_StringW texts[4] = {NastyText(), NastyText(), NastyText(), NastyText()};
        return Parlo_TypedNode::TextList(name, texts, 1 + static_cast<int32_t>(Pick(4)));
      }
      case u'6': {
        int64_t values[4] = {Wide(), Wide(), Wide(), INT64_MIN};
        return Parlo_TypedNode::Int64List(name, values, static_cast<int32_t>(Pick(5)));
      }
      case u'L':
        return Parlo_TypedNode::Int64(name, Wide());
      case u'm':
        return Parlo_TypedNode::Decimal64(name, Wide());
      case u'[':
        return Parlo_TypedNode::List(name, depth < 4 ? Nodes(depth + 1) : Parlo_TypedNodeList());
      case u'c':
      case u't': {
        uint8_t bytes[4] = {static_cast<uint8_t>(words[0]), static_cast<uint8_t>(words[1]),
                            static_cast<uint8_t>(words[2]), static_cast<uint8_t>(words[3])};
        return Parlo_TypedNode::Quad(name, type, bytes);
      }
      case u'd': {
        int32_t ints[6];
        for (int k = 0; k < 6; ++k) ints[k] = static_cast<int32_t>(words[k]);
        return Parlo_TypedNode::Date(name, ints);
      }
      case u'f': {
        float value;
        uint32_t bits = Word();
        std::memcpy(&value, &bits, 4);
        if (std::isnan(value)) value = -0.0f;
        return Parlo_TypedNode::Float(
            name, Pick(4) == 0 ? std::numeric_limits<float>::infinity() : value);
      }
      case u'i':
        return Parlo_TypedNode::Int(name, static_cast<int32_t>(Word()));
      case u'n':
        return Parlo_TypedNode::Decimal(name, static_cast<int32_t>(Word()));
      case u'Z':
        return Parlo_TypedNode::Raw(name, u'Z', Pick(2) ? u"raw text, = and :" : u"");
      default:
        return Parlo_TypedNode::Empty(name);
    }
  }

  std::mt19937 random_;
};

TEST(TypedTextWriterTest, RandomTreesSurviveWriteAndParse) {
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    SCOPED_TRACE(seed);
    Parlo_TypedText doc = TreeMaker(seed).Document();
    Parlo_StringW text;
    ASSERT_TRUE(TypedTextWrite(doc, &text));
    Parlo_TypedText parsed(text.Buffer(), text.Length());
    EXPECT_EQ(parsed.header1, doc.header1);
    EXPECT_EQ(parsed.header2, doc.header2);
    ASSERT_TRUE(parsed.root == doc.root) << Utf8(text.Buffer()) << "\n"
                                         << Describe(doc.root) << "\n"
                                         << Describe(parsed.root);
  }
}

TEST(TypedTextWriterTest, EqualityNoticesEveryKindOfDifference) {
  Parlo_TypedText doc = ParseText(u"#a=[|b=$x|c=41,2]#d=f1.5");
  const char16_t* changed[] = {u"#a=[|b=$y|c=41,2]#d=f1.5",  u"#a=[|b=$x|c=41,3]#d=f1.5",
                               u"#a=[|b=$x|c=41,2]#d=f-1.5", u"#a=[|b=$x]#d=f1.5",
                               u"#a=[|B=$x|c=41,2]#d=f1.5",  u"#a=[|b=$x|c=N1,2]#d=f1.5"};
  for (const char16_t* text : changed) {
    SCOPED_TRACE(Utf8(text));
    EXPECT_FALSE(ParseText(text).root == doc.root);
  }
  EXPECT_TRUE(ParseText(u"#a=[|b=$x|c=4 1, 2]#d=f15e-1").root == doc.root);
}

// ---- JSON ------------------------------------------------------------------

TEST(TypedTextJsonTest, DumpsASmallTree) {
  Parlo_TypedText doc = ParseText(
      u"h:#a=i1a#l=[|t=$q\"\\5C\x00e9\xd83d\xde00\xdc00\n|b=20aff|e=]#s=5x,y#f=ffoo#u=Zraw#c=c1.2."
      u"3.4");
  EXPECT_EQ(std::string(TypedTextToJson(doc).Buffer()),
            "{\n"
            "  \"header1\": \"h\",\n"
            "  \"header2\": \"\",\n"
            "  \"nodes\": [\n"
            "    {\"name\": \"a\", \"type\": \"i\", \"value\": 26},\n"
            "    {\"name\": \"l\", \"type\": \"[\", \"value\": [\n"
            "      {\"name\": \"t\", \"type\": \"$\", \"value\": "
            "\"q\\\"\\\\\xc3\xa9\xf0\x9f\x98\x80\\udc00\"},\n"
            "      {\"name\": \"b\", \"type\": \"2\", \"value\": \"0aff\"},\n"
            "      {\"name\": \"e\", \"type\": \"\", \"value\": null}\n"
            "    ]},\n"
            "    {\"name\": \"s\", \"type\": \"5\", \"value\": [\"x\", \"y\"]},\n"
            "    {\"name\": \"f\", \"type\": \"f\", \"value\": -3.2202},\n"
            "    {\"name\": \"u\", \"type\": \"Z\", \"value\": \"raw\"},\n"
            "    {\"name\": \"c\", \"type\": \"c\", \"value\": [1, 2, 3, 4]}\n"
            "  ]\n"
            "}\n");
}

}  // namespace
