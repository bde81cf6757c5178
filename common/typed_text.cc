#include "common/typed_text.h"

#include <charconv>
#include <climits>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

bool TypedTextIsSpace(char16_t c) { return Parlo_IsWideSpace(c); }

namespace {

const Parlo_TypedNode& EmptyNode() {
  static const Parlo_TypedNode node;
  return node;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

size_t TextLength(const char16_t* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Sizes are signed 32-bit; a value too large for one (a text of a billion
// characters) reports the largest size rather than a wrapped one.
int32_t ClampSize(int64_t size) {
  return size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
}

const char16_t* FindChar(const char16_t* p, const char16_t* end, char16_t c) {
  while (p < end && *p != c) ++p;
  return p;
}

// A read position inside one value; no read passes `end`, which is how every
// formatted read stops at the end of its item (or element).
struct Cursor {
  const char16_t* p;
  const char16_t* end;

  void SkipSpace() {
    while (p < end && TypedTextIsSpace(*p)) ++p;
  }
  bool Take(char16_t c) {
    if (p >= end || *p != c) return false;
    ++p;
    return true;
  }
};

// The formatted reads below behave like the runtime's "%x", "%d", "%I64d" and
// "%f" but are the system's own, so that both targets read every text alike.
// Numbers wrap at 64 bits; callers narrow them, which wraps at their width.

// "%x": white space, an optional sign, an optional "0x" before a digit, then
// hexadecimal digits. False (nothing stored) when no digit stands there.
bool ScanHex(Cursor& c, uint64_t* out) {
  c.SkipSpace();
  bool negative = false;
  if (c.p < c.end && (*c.p == u'+' || *c.p == u'-')) negative = *c.p++ == u'-';
  if (c.end - c.p >= 3 && c.p[0] == u'0' && (c.p[1] == u'x' || c.p[1] == u'X') &&
      HexDigit(c.p[2]) >= 0) {
    c.p += 2;
  }
  if (c.p >= c.end || HexDigit(*c.p) < 0) return false;
  uint64_t value = 0;
  for (; c.p < c.end && HexDigit(*c.p) >= 0; ++c.p) value = value * 16 + HexDigit(*c.p);
  *out = negative ? 0 - value : value;
  return true;
}

// "%d" and "%I64d": white space, an optional sign, decimal digits.
bool ScanDecimal(Cursor& c, uint64_t* out) {
  c.SkipSpace();
  bool negative = false;
  if (c.p < c.end && (*c.p == u'+' || *c.p == u'-')) negative = *c.p++ == u'-';
  if (c.p >= c.end || *c.p < u'0' || *c.p > u'9') return false;
  uint64_t value = 0;
  for (; c.p < c.end && *c.p >= u'0' && *c.p <= u'9'; ++c.p) value = value * 10 + (*c.p - u'0');
  *out = negative ? 0 - value : value;
  return true;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// "%f": white space, an optional sign, digits with an optional point (at least
// one digit), an optional exponent. The decimal is rounded to the nearest float
// exactly; beyond the float range it becomes an infinity or a zero.
bool ScanFloat(Cursor& c, float* out) {
  c.SkipSpace();
  const char16_t* p = c.p;
  bool negative = false;
  if (p < c.end && (*p == u'+' || *p == u'-')) negative = *p++ == u'-';
  const char16_t* digits = p;
  int64_t integer_digits = 0;
  int64_t digit_count = 0;
  int64_t first_nonzero = -1;  // index among all mantissa digits
  for (; p < c.end && IsDigit(*p); ++p, ++integer_digits, ++digit_count) {
    if (first_nonzero < 0 && *p != u'0') first_nonzero = digit_count;
  }
  if (p < c.end && *p == u'.') {
    for (++p; p < c.end && IsDigit(*p); ++p, ++digit_count) {
      if (first_nonzero < 0 && *p != u'0') first_nonzero = digit_count;
    }
  }
  if (digit_count == 0) return false;
  int64_t exponent = 0;
  if (p < c.end && (*p == u'e' || *p == u'E')) {
    const char16_t* q = p + 1;
    bool exponent_negative = false;
    if (q < c.end && (*q == u'+' || *q == u'-')) exponent_negative = *q++ == u'-';
    if (q < c.end && IsDigit(*q)) {
      for (; q < c.end && IsDigit(*q); ++q) {
        if (exponent < 1000000) exponent = exponent * 10 + (*q - u'0');
      }
      if (exponent_negative) exponent = -exponent;
      p = q;
    }
  }
  c.p = p;

  std::string narrow;
  narrow.reserve(static_cast<size_t>(p - digits) + 1);
  if (negative) narrow.push_back('-');
  for (const char16_t* q = digits; q < p; ++q) narrow.push_back(static_cast<char>(*q));
  float value = 0;
  auto result = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value,
                                std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // The decimal exponent of the leading digit tells overflow from underflow.
    int64_t magnitude = first_nonzero < 0 ? -1 : integer_digits - 1 - first_nonzero + exponent;
    value = magnitude > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
    if (negative) value = -value;
  } else if (result.ec != std::errc()) {
    return false;
  }
  *out = value;
  return true;
}

// Hexadecimal read by hand: every character counts as a digit (those that are
// no hexadecimal digit as 0); the number wraps at 64 bits.
uint64_t HandHex(const char16_t* p, const char16_t* end) {
  uint64_t value = 0;
  for (; p < end; ++p) {
    int digit = HexDigit(*p);
    value = value * 16 + static_cast<uint64_t>(digit < 0 ? 0 : digit);
  }
  return value;
}

// Decimal read by hand: number × 10 + (character − "0") for every character,
// wrapping at 32 bits.
uint32_t HandDecimal(const char16_t* p, const char16_t* end) {
  uint32_t value = 0;
  for (; p < end; ++p) value = value * 10u + (static_cast<uint32_t>(*p) - u'0');
  return value;
}

// Fields separated by "." read by hand; the last field runs to the end of the
// value. A missing "." leaves the later fields at 0.
template <class T, class Read>
void ReadDottedFields(const char16_t* p, const char16_t* end, T* fields, int count, Read read) {
  for (int k = 0; k < count; ++k) {
    const char16_t* field_end = k == count - 1 ? end : FindChar(p, end, u'.');
    fields[k] = static_cast<T>(read(p, field_end));
    p = field_end < end ? field_end + 1 : end;
  }
}

// "%x.%x..." : reads up to `count` numbers, stopping at the first that does not
// fit; the others keep 0.
void ScanDottedHex(const char16_t* p, const char16_t* end, uint32_t* words, int count) {
  Cursor c{p, end};
  for (int k = 0; k < count; ++k) {
    if (k > 0 && !c.Take(u'.')) return;
    uint64_t value;
    if (!ScanHex(c, &value)) return;
    words[k] = static_cast<uint32_t>(value);
  }
}

// Calls `element(begin, end)` for every piece between "," (one more than there
// are commas).
template <class Element>
void ForEachElement(const char16_t* p, const char16_t* end, Element element) {
  for (;;) {
    const char16_t* comma = FindChar(p, end, u',');
    element(p, comma);
    if (comma >= end) return;
    p = comma + 1;
  }
}

// A number list element: a leading "-" is noted and skipped, the number read,
// then negated; one that cannot be read is 0.
template <class Scan>
uint64_t ReadElement(const char16_t* p, const char16_t* end, Scan scan) {
  bool negative = p < end && *p == u'-';
  Cursor c{negative ? p + 1 : p, end};
  uint64_t value = 0;
  if (!scan(c, &value)) value = 0;
  return negative ? 0 - value : value;
}

size_t FixedSize(char16_t type) {
  switch (type) {
    case u'3':
      return 12;
    case u'L':
    case u'm':
    case u'p':
      return 8;
    case u'c':
    case u'f':
    case u'i':
    case u'n':
    case u't':
      return 4;
    case u'd':
      return 24;
    case u'r':
      return 16;
    default:
      return 0;
  }
}

std::unique_ptr<char16_t[]> CopyText(const char16_t* text, size_t length) {
  auto copy = std::make_unique<char16_t[]>(length + 1);
  if (length > 0) std::memcpy(copy.get(), text, length * sizeof(char16_t));
  return copy;
}

}  // namespace

// ---- Parser ----------------------------------------------------------------

// Works in place on one private copy of the text: a nested list rewrites its
// own "|" separators to "#", and only its own sub-parse reads them afterwards,
// so no item is copied more than once however large the document.
class TypedTextParser {
 public:
  // `depth` is the nesting depth of `list`; the root list is 0.
  static void Items(char16_t* text, int32_t length, Parlo_TypedNodeList* list, int depth) {
    list->nodes_.clear();
    std::vector<int32_t> starts;
    int32_t brackets = 0;
    for (int32_t i = 0; i < length; ++i) {
      char16_t c = text[i];
      if (c == u'[') {
        ++brackets;
      } else if (c == u']') {
        --brackets;
      } else if (c == u'#' && brackets == 0) {
        starts.push_back(i);
      }
    }
    list->nodes_.resize(starts.size());
    for (size_t k = 0; k < starts.size(); ++k) {
      int32_t begin = starts[k] + 1;
      int32_t end = k + 1 < starts.size() ? starts[k + 1] : length;
      while (end > begin && TypedTextIsSpace(text[end - 1])) --end;
      Item(text + begin, end - begin, &list->nodes_[k], depth);
    }
  }

  // `depth` is the nesting depth of the list that holds `node`.
  static void Item(char16_t* text, int32_t length, Parlo_TypedNode* node, int depth) {
    node->ClearValue();
    const char16_t* end = text + length;
    const char16_t* equals = FindChar(text, end, u'=');
    // An item without "=" gives a node named by its whole text, without value.
    node->name = Parlo_StringW(text, static_cast<int>(equals - text));
    if (equals >= end || equals + 1 >= end || equals[1] == 0) return;
    node->type = equals[1];
    char16_t* value = text + (equals - text) + 2;
    Value(node, value, static_cast<int32_t>(end - value), depth);
  }

 private:
  static void Value(Parlo_TypedNode* node, char16_t* value, int32_t length, int depth) {
    const char16_t* end = value + length;
    auto& fixed = node->fixed_;
    node->size = static_cast<int32_t>(FixedSize(node->type));
    switch (node->type) {
      case u'$': {
        Parlo_StringW text(value, length);
        text.Unescape();
        SetText(node, text.Buffer(), static_cast<size_t>(text.Length()));
        return;
      }
      case u'2': {
        int32_t count = length / 2;
        node->bytes_ = std::make_unique<uint8_t[]>(static_cast<size_t>(count));
        for (int32_t k = 0; k < count; ++k) {
          node->bytes_[k] = static_cast<uint8_t>(HandHex(value + 2 * k, value + 2 * k + 2));
        }
        node->size = count;
        return;
      }
      case u'3':
        ScanDottedHex(value, end, fixed.words, 3);
        return;
      case u'p':
        ScanDottedHex(value, end, fixed.words, 2);
        return;
      case u'c': {
        uint32_t words[4] = {};
        ScanDottedHex(value, end, words, 4);
        for (int k = 0; k < 4; ++k) fixed.bytes[k] = static_cast<uint8_t>(words[k]);
        return;
      }
      case u't': {
        uint32_t number = 123456;
        uint64_t read;
        Cursor c{value, end};
        if (ScanHex(c, &read)) number = static_cast<uint32_t>(read);
        for (int k = 0; k < 4; ++k) fixed.bytes[k] = static_cast<uint8_t>(number >> (24 - 8 * k));
        return;
      }
      case u'f': {
        fixed.f32 = -3.2202f;
        Cursor c{value, end};
        ScanFloat(c, &fixed.f32);
        return;
      }
      case u'm':
      case u'n': {
        uint64_t read = 0;
        Cursor c{value, end};
        if (!ScanDecimal(c, &read)) read = 0;
        if (node->type == u'm') {
          fixed.i64 = static_cast<int64_t>(read);
        } else {
          fixed.i32 = static_cast<int32_t>(static_cast<uint32_t>(read));
        }
        return;
      }
      case u'i':
      case u'L': {
        bool negative = length > 0 && value[0] == u'-';
        uint64_t read = HandHex(negative ? value + 1 : value, end);
        if (negative) read = 0 - read;
        if (node->type == u'L') {
          fixed.i64 = static_cast<int64_t>(read);
        } else {
          fixed.i32 = static_cast<int32_t>(static_cast<uint32_t>(read));
        }
        return;
      }
      case u'd':
        ReadDottedFields(value, end, fixed.ints, 6, HandDecimal);
        return;
      case u'r':
        ReadDottedFields(value, end, fixed.words, 4, HandHex);
        return;
      case u'4':
      case u'N': {
        node->ints_ = std::make_unique<CDynamicArray<int>>();
        if (length == 0) return;
        bool hex = node->type == u'4';
        ForEachElement(value, end, [&](const char16_t* p, const char16_t* e) {
          uint64_t read = hex ? ReadElement(p, e, ScanHex) : ReadElement(p, e, ScanDecimal);
          node->ints_->Add(static_cast<int>(static_cast<uint32_t>(read)));
        });
        return;
      }
      case u'6':
        node->ints64_ = std::make_unique<CDynamicArray<int64_t>>();
        if (length == 0) return;
        ForEachElement(value, end, [&](const char16_t* p, const char16_t* e) {
          node->ints64_->Add(static_cast<int64_t>(ReadElement(p, e, ScanHex)));
        });
        return;
      case u'5':
        node->texts_ = std::make_unique<CDynamicArray<Parlo_StringW>>();
        ForEachElement(value, end, [&](const char16_t* p, const char16_t* e) {
          Parlo_StringW text(p, static_cast<int>(e - p));
          text.Unescape();
          node->texts_->Add(text);
        });
        return;
      case u'[':
        node->list_ = std::make_unique<Parlo_TypedNodeList>();
        if (length < 1 || depth + 1 > kTypedTextMaxDepth) return;
        {
          // The value text is "[" (the type letter) and what follows; this
          // list's own separators are the "|" at depth 1 of it.
          int32_t brackets = 1;
          for (int32_t i = 0; i < length; ++i) {
            char16_t c = value[i];
            if (c == u'[') {
              ++brackets;
            } else if (c == u']') {
              --brackets;
            } else if (c == u'|' && brackets == 1) {
              value[i] = u'#';
            }
          }
        }
        // Without the opening "[" (the type letter) and the last character.
        Items(value, length - 1, node->list_.get(), depth + 1);
        return;
      default:
        // A letter without a reader keeps its value text as it stood.
        SetText(node, value, static_cast<size_t>(length));
        return;
    }
  }

  static void SetText(Parlo_TypedNode* node, const char16_t* text, size_t length) {
    node->text_ = CopyText(text, length);
    node->size = ClampSize((static_cast<int64_t>(length) + 1) * 2);
  }
};

// ---- Parlo_TypedNodeList ---------------------------------------------------

Parlo_TypedNodeList::Parlo_TypedNodeList() = default;
Parlo_TypedNodeList::Parlo_TypedNodeList(const Parlo_TypedNodeList& other) = default;
Parlo_TypedNodeList::Parlo_TypedNodeList(Parlo_TypedNodeList&& other) noexcept = default;
Parlo_TypedNodeList& Parlo_TypedNodeList::operator=(const Parlo_TypedNodeList& other) = default;
Parlo_TypedNodeList& Parlo_TypedNodeList::operator=(Parlo_TypedNodeList&& other) noexcept = default;
Parlo_TypedNodeList::~Parlo_TypedNodeList() = default;

int32_t Parlo_TypedNodeList::Count() const { return static_cast<int32_t>(nodes_.size()); }

const Parlo_TypedNode* Parlo_TypedNodeList::Find(const char16_t* name) const {
  if (name == nullptr) return nullptr;
  for (const Parlo_TypedNode& node : nodes_) {
    if (node.name == name) return &node;
  }
  return nullptr;
}

const Parlo_TypedNode& Parlo_TypedNodeList::Get(const char16_t* name) const {
  const Parlo_TypedNode* node = Find(name);
  return node != nullptr ? *node : EmptyNode();
}

const Parlo_TypedNode& Parlo_TypedNodeList::At(int32_t index) const {
  if (index < 0 || index >= Count()) return EmptyNode();
  return nodes_[static_cast<size_t>(index)];
}

void Parlo_TypedNodeList::Add(const Parlo_TypedNode& node) { nodes_.push_back(node); }
void Parlo_TypedNodeList::Add(Parlo_TypedNode&& node) { nodes_.push_back(std::move(node)); }
void Parlo_TypedNodeList::Clear() { nodes_.clear(); }

bool Parlo_TypedNodeList::operator==(const Parlo_TypedNodeList& other) const {
  return nodes_ == other.nodes_;
}

// ---- Parlo_TypedNode -------------------------------------------------------

Parlo_TypedNode::Parlo_TypedNode() = default;

Parlo_TypedNode::Parlo_TypedNode(const Parlo_TypedNode& other)
    : name(other.name), type(other.type), size(other.size) {
  CopyValueFrom(other);
}

Parlo_TypedNode::Parlo_TypedNode(Parlo_TypedNode&& other) noexcept = default;

Parlo_TypedNode& Parlo_TypedNode::operator=(const Parlo_TypedNode& other) {
  if (this == &other) return *this;
  // The copy is made before the old value goes: `other` may live inside it.
  Parlo_TypedNode copy(other);
  *this = std::move(copy);
  return *this;
}

Parlo_TypedNode& Parlo_TypedNode::operator=(Parlo_TypedNode&& other) noexcept = default;
Parlo_TypedNode::~Parlo_TypedNode() = default;

void Parlo_TypedNode::ClearValue() {
  type = 0;
  size = 0;
  fixed_ = Fixed{};
  text_.reset();
  bytes_.reset();
  ints_.reset();
  ints64_.reset();
  texts_.reset();
  list_.reset();
}

void Parlo_TypedNode::CopyValueFrom(const Parlo_TypedNode& other) {
  fixed_ = other.fixed_;
  if (other.text_) text_ = CopyText(other.text_.get(), TextLength(other.text_.get()));
  if (other.bytes_) {
    size_t count = size > 0 ? static_cast<size_t>(size) : 0;
    bytes_ = std::make_unique<uint8_t[]>(count);
    if (count > 0) std::memcpy(bytes_.get(), other.bytes_.get(), count);
  }
  if (other.ints_) ints_ = std::make_unique<CDynamicArray<int>>(*other.ints_);
  if (other.ints64_) ints64_ = std::make_unique<CDynamicArray<int64_t>>(*other.ints64_);
  if (other.texts_) texts_ = std::make_unique<CDynamicArray<Parlo_StringW>>(*other.texts_);
  if (other.list_) list_ = std::make_unique<Parlo_TypedNodeList>(*other.list_);
}

bool Parlo_TypedNode::IsKnownType(char16_t type) {
  if (FixedSize(type) > 0) return true;
  switch (type) {
    case u'$':
    case u'2':
    case u'4':
    case u'5':
    case u'6':
    case u'N':
    case u'[':
      return true;
    default:
      return false;
  }
}

namespace {

Parlo_TypedNode Named(const char16_t* name, char16_t type, int32_t size) {
  Parlo_TypedNode node;
  node.name = Parlo_StringW(name == nullptr ? u"" : name);
  node.type = type;
  node.size = size;
  return node;
}

}  // namespace

Parlo_TypedNode Parlo_TypedNode::Int(const char16_t* name, int32_t value) {
  Parlo_TypedNode node = Named(name, u'i', 4);
  node.fixed_.i32 = value;
  return node;
}

Parlo_TypedNode Parlo_TypedNode::Int64(const char16_t* name, int64_t value) {
  Parlo_TypedNode node = Named(name, u'L', 8);
  node.fixed_.i64 = value;
  return node;
}

Parlo_TypedNode Parlo_TypedNode::Decimal(const char16_t* name, int32_t value) {
  Parlo_TypedNode node = Named(name, u'n', 4);
  node.fixed_.i32 = value;
  return node;
}

Parlo_TypedNode Parlo_TypedNode::Decimal64(const char16_t* name, int64_t value) {
  Parlo_TypedNode node = Named(name, u'm', 8);
  node.fixed_.i64 = value;
  return node;
}

Parlo_TypedNode Parlo_TypedNode::Float(const char16_t* name, float value) {
  Parlo_TypedNode node = Named(name, u'f', 4);
  node.fixed_.f32 = value;
  return node;
}

Parlo_TypedNode Parlo_TypedNode::Text(const char16_t* name, const Parlo_StringW& value) {
  size_t length = static_cast<size_t>(value.Length());
  Parlo_TypedNode node = Named(name, u'$', ClampSize((static_cast<int64_t>(length) + 1) * 2));
  node.text_ = CopyText(value.IsNull() ? u"" : value.Buffer(), length);
  return node;
}

Parlo_TypedNode Parlo_TypedNode::Bytes(const char16_t* name, const uint8_t* data, int32_t count) {
  if (data == nullptr || count < 0) count = 0;
  Parlo_TypedNode node = Named(name, u'2', count);
  node.bytes_ = std::make_unique<uint8_t[]>(static_cast<size_t>(count));
  if (count > 0) std::memcpy(node.bytes_.get(), data, static_cast<size_t>(count));
  return node;
}

Parlo_TypedNode Parlo_TypedNode::List(const char16_t* name, const Parlo_TypedNodeList& children) {
  Parlo_TypedNode node = Named(name, u'[', 0);
  node.list_ = std::make_unique<Parlo_TypedNodeList>(children);
  return node;
}

Parlo_TypedNode Parlo_TypedNode::IntList(const char16_t* name, char16_t type, const int32_t* values,
                                         int32_t count) {
  Parlo_TypedNode node = Named(name, type == u'N' ? u'N' : u'4', 0);
  node.ints_ = std::make_unique<CDynamicArray<int>>();
  for (int32_t k = 0; values != nullptr && k < count; ++k) node.ints_->Add(values[k]);
  return node;
}

Parlo_TypedNode Parlo_TypedNode::Int64List(const char16_t* name, const int64_t* values,
                                           int32_t count) {
  Parlo_TypedNode node = Named(name, u'6', 0);
  node.ints64_ = std::make_unique<CDynamicArray<int64_t>>();
  for (int32_t k = 0; values != nullptr && k < count; ++k) node.ints64_->Add(values[k]);
  return node;
}

Parlo_TypedNode Parlo_TypedNode::TextList(const char16_t* name, const Parlo_StringW* values,
                                          int32_t count) {
  Parlo_TypedNode node = Named(name, u'5', 0);
  node.texts_ = std::make_unique<CDynamicArray<Parlo_StringW>>();
  for (int32_t k = 0; values != nullptr && k < count; ++k) {
    node.texts_->Add(values[k].IsNull() ? Parlo_StringW() : values[k]);
  }
  return node;
}

Parlo_TypedNode Parlo_TypedNode::Words(const char16_t* name, char16_t type,
                                       const uint32_t* values) {
  if (type != u'3' && type != u'p' && type != u'r') type = u'3';
  Parlo_TypedNode node = Named(name, type, static_cast<int32_t>(FixedSize(type)));
  for (size_t k = 0; k < FixedSize(type) / 4; ++k) node.fixed_.words[k] = values[k];
  return node;
}

Parlo_TypedNode Parlo_TypedNode::Date(const char16_t* name, const int32_t values[6]) {
  Parlo_TypedNode node = Named(name, u'd', 24);
  for (int k = 0; k < 6; ++k) node.fixed_.ints[k] = values[k];
  return node;
}

Parlo_TypedNode Parlo_TypedNode::Quad(const char16_t* name, char16_t type,
                                      const uint8_t values[4]) {
  Parlo_TypedNode node = Named(name, type == u't' ? u't' : u'c', 4);
  for (int k = 0; k < 4; ++k) node.fixed_.bytes[k] = values[k];
  return node;
}

Parlo_TypedNode Parlo_TypedNode::Empty(const char16_t* name) { return Named(name, 0, 0); }

Parlo_TypedNode Parlo_TypedNode::Raw(const char16_t* name, char16_t type,
                                     const Parlo_StringW& text) {
  if (type == 0 || IsKnownType(type)) return Empty(name);
  size_t length = static_cast<size_t>(text.Length());
  Parlo_TypedNode node = Named(name, type, ClampSize((static_cast<int64_t>(length) + 1) * 2));
  node.text_ = CopyText(text.IsNull() ? u"" : text.Buffer(), length);
  return node;
}

int32_t Parlo_TypedNode::AsInt() const { return type == u'i' || type == u'n' ? fixed_.i32 : 0; }

int64_t Parlo_TypedNode::AsInt64() const { return type == u'L' || type == u'm' ? fixed_.i64 : 0; }

float Parlo_TypedNode::AsFloat() const { return type == u'f' ? fixed_.f32 : 0.0f; }

const char16_t* Parlo_TypedNode::AsText() const { return type == u'$' ? text_.get() : nullptr; }

const uint8_t* Parlo_TypedNode::AsBytes() const {
  if (type == u'2') return bytes_.get();
  return type == u'c' || type == u't' ? fixed_.bytes : nullptr;
}

const uint32_t* Parlo_TypedNode::AsWords() const {
  return type == u'3' || type == u'p' || type == u'r' ? fixed_.words : nullptr;
}

const int32_t* Parlo_TypedNode::AsDate() const { return type == u'd' ? fixed_.ints : nullptr; }

const CDynamicArray<int>* Parlo_TypedNode::AsIntList() const {
  return type == u'4' || type == u'N' ? ints_.get() : nullptr;
}

const CDynamicArray<int64_t>* Parlo_TypedNode::AsInt64List() const {
  return type == u'6' ? ints64_.get() : nullptr;
}

const CDynamicArray<Parlo_StringW>* Parlo_TypedNode::AsTextList() const {
  return type == u'5' ? texts_.get() : nullptr;
}

const Parlo_TypedNodeList* Parlo_TypedNode::AsList() const {
  return type == u'[' ? list_.get() : nullptr;
}

const char16_t* Parlo_TypedNode::AsRaw() const {
  return type != 0 && !IsKnownType(type) ? text_.get() : nullptr;
}

int32_t Parlo_TypedNode::Count() const {
  const Parlo_TypedNodeList* list = AsList();
  return list != nullptr ? list->Count() : 0;
}

const Parlo_TypedNode* Parlo_TypedNode::Find(const char16_t* name) const {
  const Parlo_TypedNodeList* list = AsList();
  return list != nullptr ? list->Find(name) : nullptr;
}

const Parlo_TypedNode& Parlo_TypedNode::Get(const char16_t* name) const {
  const Parlo_TypedNodeList* list = AsList();
  return list != nullptr ? list->Get(name) : EmptyNode();
}

const Parlo_TypedNode& Parlo_TypedNode::At(int32_t index) const {
  const Parlo_TypedNodeList* list = AsList();
  return list != nullptr ? list->At(index) : EmptyNode();
}

namespace {

template <class T>
bool SameElements(const CDynamicArray<T>* a, const CDynamicArray<T>* b) {
  if (a == nullptr || b == nullptr) return a == b;
  if (a->count != b->count) return false;
  for (int k = 0; k < a->count; ++k) {
    if (!(a->data[k] == b->data[k])) return false;
  }
  return true;
}

bool SameText(const char16_t* a, const char16_t* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return std::u16string_view(a) == std::u16string_view(b);
}

}  // namespace

bool Parlo_TypedNode::operator==(const Parlo_TypedNode& other) const {
  if (!(name == other.name) || type != other.type || size != other.size) return false;
  if (type == 0) return true;
  size_t fixed = FixedSize(type);
  if (fixed > 0) return std::memcmp(&fixed_, &other.fixed_, fixed) == 0;
  switch (type) {
    case u'2':
      if (size == 0) return true;
      return std::memcmp(bytes_.get(), other.bytes_.get(), static_cast<size_t>(size)) == 0;
    case u'4':
    case u'N':
      return SameElements(ints_.get(), other.ints_.get());
    case u'6':
      return SameElements(ints64_.get(), other.ints64_.get());
    case u'5':
      return SameElements(texts_.get(), other.texts_.get());
    case u'[':
      if (!list_ || !other.list_) return list_ == other.list_;
      return *list_ == *other.list_;
    default:  // '$' and letters without a reader
      return SameText(text_.get(), other.text_.get());
  }
}

// ---- Parlo_TypedText -------------------------------------------------------

Parlo_TypedText::Parlo_TypedText(const char16_t* text, int32_t length)
    : source(text == nullptr ? u"" : text, text == nullptr || length < 0 ? 0 : length) {
  ParseSource();
}

void Parlo_TypedText::Parse(const Parlo_StringW& text) {
  source = text.IsNull() ? Parlo_StringW() : text;
  ParseSource();
}

// The text is parsed from `source`, so a large list lies in memory only there
// and in the parser's one working copy.
void Parlo_TypedText::ParseSource() {
  root.Clear();
  header1 = Parlo_StringW();
  header2 = Parlo_StringW();

  std::u16string_view rest(source.Buffer(), static_cast<size_t>(source.Length()));
  // A header field is text before a ":" that stands before any "#".
  auto take_header = [&rest](Parlo_StringW* field) {
    size_t colon = rest.find(u':');
    size_t hash = rest.find(u'#');
    if (colon == std::u16string_view::npos || colon == 0 || hash < colon) return false;
    *field = Parlo_StringW(rest.data(), static_cast<int>(colon));
    rest.remove_prefix(colon + 1);
    return true;
  };
  if (take_header(&header1)) take_header(&header2);

  std::u16string body(rest);
  TypedTextParser::Items(body.data(), static_cast<int32_t>(body.size()), &root, 0);
}

namespace {

// A private copy of the text up to `length` characters or its first 0.
std::u16string WorkingCopy(const char16_t* text, int32_t length) {
  if (text == nullptr || length <= 0) return std::u16string();
  std::u16string copy(text, static_cast<size_t>(length));
  size_t zero = copy.find(u'\0');
  if (zero != std::u16string::npos) copy.resize(zero);
  return copy;
}

}  // namespace

void Parlo_TypedText::ParseItems(const char16_t* text, int32_t length, Parlo_TypedNodeList* list) {
  if (list == nullptr) return;
  std::u16string copy = WorkingCopy(text, length);
  TypedTextParser::Items(copy.data(), static_cast<int32_t>(copy.size()), list, 0);
}

void Parlo_TypedText::ParseItem(const char16_t* text, int32_t length, Parlo_TypedNode* node) {
  if (node == nullptr) return;
  std::u16string copy = WorkingCopy(text, length);
  TypedTextParser::Item(copy.data(), static_cast<int32_t>(copy.size()), node, 0);
}
