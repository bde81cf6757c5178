// Typed text: named, typed values that nest, as the local settings and the
// resource list carry them. Grammar and examples in common/typed_text_format.md.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/containers.h"
#include "common/parlo_string.h"

class Parlo_TypedNode;

// Lists nest at most this deep below the document's root list; a list that
// would lie deeper is read as an empty list, so no text can exhaust the stack
// of the parser (or of the copies and destructors that walk the tree later).
inline constexpr int kTypedTextMaxDepth = 64;

// The white space that ends of items shed and formatted reads skip: one fixed
// table (the Unicode white space characters of the basic plane), so Windows and
// POSIX agree where their runtimes' classifications differ.
bool TypedTextIsSpace(char16_t c);

// An ordered list of nodes; names may repeat. Copies are deep.
class Parlo_TypedNodeList {
 public:
  Parlo_TypedNodeList();
  Parlo_TypedNodeList(const Parlo_TypedNodeList& other);
  Parlo_TypedNodeList(Parlo_TypedNodeList&& other) noexcept;
  Parlo_TypedNodeList& operator=(const Parlo_TypedNodeList& other);
  Parlo_TypedNodeList& operator=(Parlo_TypedNodeList&& other) noexcept;
  ~Parlo_TypedNodeList();

  int32_t Count() const;

  // The first node whose name equals `name` exactly (with case), or null.
  const Parlo_TypedNode* Find(const char16_t* name) const;
  const Parlo_TypedNode* Find(const Parlo_StringW& name) const { return Find(name.Buffer()); }
  // As Find, but a missing name answers a shared empty node (type 0, empty
  // name) instead of null, so a hostile list can never make a caller touch a
  // node that does not exist. The reference stays valid while the list lives.
  const Parlo_TypedNode& Get(const char16_t* name) const;
  const Parlo_TypedNode& Get(const Parlo_StringW& name) const { return Get(name.Buffer()); }
  // The node at a 0-based position; outside 0..Count()-1 the shared empty node.
  const Parlo_TypedNode& At(int32_t index) const;

  void Add(const Parlo_TypedNode& node);
  void Add(Parlo_TypedNode&& node);
  void Clear();

  // Structural equality: names, types, sizes and values, children in order.
  bool operator==(const Parlo_TypedNodeList& other) const;

 private:
  friend class TypedTextParser;

  std::vector<Parlo_TypedNode> nodes_;
};

// One named value. `type` is the type letter, 0 when the node has no value.
// Values are read through the As... accessors, each of which answers 0 or null
// when the node holds another type, so that no caller can misread a node.
class Parlo_TypedNode {
 public:
  Parlo_TypedNode();
  Parlo_TypedNode(const Parlo_TypedNode& other);
  Parlo_TypedNode(Parlo_TypedNode&& other) noexcept;
  Parlo_TypedNode& operator=(const Parlo_TypedNode& other);
  Parlo_TypedNode& operator=(Parlo_TypedNode&& other) noexcept;
  ~Parlo_TypedNode();

  // Builders for writers of typed text; the node is as parsing would give it.
  static Parlo_TypedNode Int(const char16_t* name, int32_t value);                         // 'i'
  static Parlo_TypedNode Int64(const char16_t* name, int64_t value);                       // 'L'
  static Parlo_TypedNode Decimal(const char16_t* name, int32_t value);                     // 'n'
  static Parlo_TypedNode Decimal64(const char16_t* name, int64_t value);                   // 'm'
  static Parlo_TypedNode Float(const char16_t* name, float value);                         // 'f'
  static Parlo_TypedNode Text(const char16_t* name, const Parlo_StringW& value);           // '$'
  static Parlo_TypedNode Bytes(const char16_t* name, const uint8_t* data, int32_t count);  // '2'
  static Parlo_TypedNode List(const char16_t* name, const Parlo_TypedNodeList& children);  // '['
  // '4' (hexadecimal) or 'N' (decimal) element lists.
  static Parlo_TypedNode IntList(const char16_t* name, char16_t type, const int32_t* values,
                                 int32_t count);
  static Parlo_TypedNode Int64List(const char16_t* name, const int64_t* values,
                                   int32_t count);  // '6'
  static Parlo_TypedNode TextList(const char16_t* name, const Parlo_StringW* values,
                                  int32_t count);  // '5'
  // '3' (3 words), 'p' (2) or 'r' (4).
  static Parlo_TypedNode Words(const char16_t* name, char16_t type, const uint32_t* values);
  static Parlo_TypedNode Date(const char16_t* name, const int32_t values[6]);  // 'd'
  // 'c' or 't': four bytes ('t' holds its number most significant byte first).
  static Parlo_TypedNode Quad(const char16_t* name, char16_t type, const uint8_t values[4]);
  // A node without a value (type 0).
  static Parlo_TypedNode Empty(const char16_t* name);
  // A letter that no reader knows: the value text is kept as it stood.
  static Parlo_TypedNode Raw(const char16_t* name, char16_t type, const Parlo_StringW& text);

  int32_t AsInt() const;           // 'i', 'n'
  int64_t AsInt64() const;         // 'L', 'm'
  float AsFloat() const;           // 'f'
  const char16_t* AsText() const;  // '$' (zero-terminated)
  // '2' (Size() bytes), 'c' and 't' (4 bytes).
  const uint8_t* AsBytes() const;
  const uint32_t* AsWords() const;                         // '3' (3), 'p' (2), 'r' (4)
  const int32_t* AsDate() const;                           // 'd' (6)
  const CDynamicArray<int>* AsIntList() const;             // '4', 'N'
  const CDynamicArray<int64_t>* AsInt64List() const;       // '6'
  const CDynamicArray<Parlo_StringW>* AsTextList() const;  // '5'
  const Parlo_TypedNodeList* AsList() const;               // '['
  // The value text of a letter that no reader knows (zero-terminated), else null.
  const char16_t* AsRaw() const;
  // Whether `type` is one of the letters with a reader.
  static bool IsKnownType(char16_t type);

  // The children of a '[' node; any other node answers as an empty list does.
  int32_t Count() const;
  const Parlo_TypedNode* Find(const char16_t* name) const;
  const Parlo_TypedNode& Get(const char16_t* name) const;
  const Parlo_TypedNode& At(int32_t index) const;

  // Structural equality; floats compare by their bits.
  bool operator==(const Parlo_TypedNode& other) const;

  Parlo_StringW name;
  char16_t type = 0;
  // The value's size in bytes; 0 for the list types and for type 0.
  int32_t size = 0;

 private:
  friend class TypedTextParser;

  void ClearValue();
  void CopyValueFrom(const Parlo_TypedNode& other);

  // Fixed-size values lie here as the type table gives them.
  union Fixed {
    int32_t i32;
    int64_t i64;
    float f32;
    uint32_t words[6];
    int32_t ints[6];
    uint8_t bytes[24];
  } fixed_{};
  // '$' and unknown letters: `size` / 2 characters, the last one 0. '2': `size` bytes.
  std::unique_ptr<char16_t[]> text_;
  std::unique_ptr<uint8_t[]> bytes_;
  std::unique_ptr<CDynamicArray<int>> ints_;
  std::unique_ptr<CDynamicArray<int64_t>> ints64_;
  std::unique_ptr<CDynamicArray<Parlo_StringW>> texts_;
  std::unique_ptr<Parlo_TypedNodeList> list_;
};

// A parsed document: optional headers and the top-level nodes. Parsing never
// fails; every text yields the nodes that its items give.
class Parlo_TypedText {
 public:
  Parlo_TypedText() = default;
  // Parses the first `length` characters of `text` (up to a 0 character
  // within them); a null text or a negative length gives an empty document.
  Parlo_TypedText(const char16_t* text, int32_t length);

  // Replaces the document with the parse of `text`.
  void Parse(const Parlo_StringW& text);

  // The two stages of the parser, for texts without a header. Each works on a
  // copy of the first `length` characters.
  static void ParseItems(const char16_t* text, int32_t length, Parlo_TypedNodeList* list);
  static void ParseItem(const char16_t* text, int32_t length, Parlo_TypedNode* node);

  Parlo_TypedNodeList root;
  Parlo_StringW header1;
  Parlo_StringW header2;
  Parlo_StringW source;

 private:
  void ParseSource();
};
