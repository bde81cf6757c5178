#include "common/typed_text_writer.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace {

using Text = std::u16string;

void AppendAscii(Text* out, const char* text, size_t length) {
  for (size_t k = 0; k < length; ++k) out->push_back(static_cast<char16_t>(text[k]));
}

void AppendHex(Text* out, uint64_t value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
  for (char* p = buffer; p < result.ptr; ++p) {
    out->push_back(static_cast<char16_t>(*p >= 'a' ? *p - 'a' + 'A' : *p));
  }
}

// A leading "-" and the magnitude; the readers negate with wrap-around, so the
// most negative number comes back too.
void AppendSignedHex(Text* out, int64_t value) {
  if (value < 0) {
    out->push_back(u'-');
    AppendHex(out, 0 - static_cast<uint64_t>(value));
  } else {
    AppendHex(out, static_cast<uint64_t>(value));
  }
}

template <class T>
void AppendDecimal(Text* out, T value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  AppendAscii(out, buffer, static_cast<size_t>(result.ptr - buffer));
}

bool SplitterChar(char16_t c) { return c == u'#' || c == u'[' || c == u']' || c == u'|'; }

void AppendEscape(Text* out, char16_t c) {
  static const char kDigits[] = "0123456789ABCDEF";
  out->push_back(u'\\');
  out->push_back(static_cast<char16_t>(kDigits[(c >> 4) & 15]));
  out->push_back(static_cast<char16_t>(kDigits[c & 15]));
}

// A text of a '$' node or a '5' element. Control characters are escaped too, so
// that every item stays on its line.
bool AppendEscapedText(Text* out, const char16_t* text) {
  if (text == nullptr) return true;
  size_t length = std::char_traits<char16_t>::length(text);
  for (size_t k = 0; k < length; ++k) {
    char16_t c = text[k];
    bool last = k + 1 == length;
    if (SplitterChar(c) || c == u',' || c == u'\\' || c < 0x20 || c == 0x7F ||
        (last && TypedTextIsSpace(c))) {
      if (c > 0xFF) return false;
      AppendEscape(out, c);
    } else {
      out->push_back(c);
    }
  }
  return true;
}

bool WritableName(const Parlo_StringW& name) {
  int length = name.Length();
  if (length == 0) return false;
  const char16_t* text = name.Buffer();
  for (int k = 0; k < length; ++k) {
    if (SplitterChar(text[k]) || text[k] == u'=') return false;
  }
  return !TypedTextIsSpace(text[length - 1]);
}

bool WritableHeader(const Parlo_StringW& header) {
  const char16_t* text = header.Buffer();
  for (int k = 0; k < header.Length(); ++k) {
    if (text[k] == u':' || text[k] == u'#') return false;
  }
  return true;
}

bool AppendNode(Text* out, const Parlo_TypedNode& node, int depth);

// The children of a '[' value: "[", "|item" each, "]".
bool AppendList(Text* out, const Parlo_TypedNodeList& list, int depth) {
  if (depth > kTypedTextMaxDepth) return false;
  out->push_back(u'[');
  for (int32_t k = 0; k < list.Count(); ++k) {
    out->push_back(u'|');
    if (!AppendNode(out, list.At(k), depth)) return false;
  }
  out->push_back(u']');
  return true;
}

bool AppendFloat(Text* out, float value) {
  if (std::isnan(value)) return false;
  if (std::isinf(value)) {
    // Beyond the float range the reader gives the infinity of that sign.
    AppendAscii(out, value < 0 ? "-1e999" : "1e999", value < 0 ? 6 : 5);
    return true;
  }
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);  // shortest exact
  AppendAscii(out, buffer, static_cast<size_t>(result.ptr - buffer));
  return true;
}

bool AppendRaw(Text* out, char16_t type, const char16_t* raw) {
  if (SplitterChar(type) || raw == nullptr) return false;
  size_t length = std::char_traits<char16_t>::length(raw);
  for (size_t k = 0; k < length; ++k) {
    if (SplitterChar(raw[k])) return false;
  }
  if (length == 0 ? TypedTextIsSpace(type) : TypedTextIsSpace(raw[length - 1])) return false;
  out->append(raw, length);
  return true;
}

// The value text after the type letter.
bool AppendValue(Text* out, const Parlo_TypedNode& node, int depth) {
  switch (node.type) {
    case u'$':
      return node.AsText() != nullptr && AppendEscapedText(out, node.AsText());
    case u'2': {
      const uint8_t* bytes = node.AsBytes();
      if (bytes == nullptr && node.size > 0) return false;
      for (int32_t k = 0; k < node.size; ++k) {
        static const char kDigits[] = "0123456789ABCDEF";
        out->push_back(static_cast<char16_t>(kDigits[bytes[k] >> 4]));
        out->push_back(static_cast<char16_t>(kDigits[bytes[k] & 15]));
      }
      return true;
    }
    case u'3':
    case u'p':
    case u'r': {
      int count = node.type == u'3' ? 3 : node.type == u'p' ? 2 : 4;
      for (int k = 0; k < count; ++k) {
        if (k > 0) out->push_back(u'.');
        AppendHex(out, node.AsWords()[k]);
      }
      return true;
    }
    case u'c':
      for (int k = 0; k < 4; ++k) {
        if (k > 0) out->push_back(u'.');
        AppendHex(out, node.AsBytes()[k]);
      }
      return true;
    case u't': {
      const uint8_t* b = node.AsBytes();
      AppendHex(out, uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3]);
      return true;
    }
    case u'd':
      // The hand reader wraps at 32 bits, so a negative field is written as
      // the unsigned number of the same bits.
      for (int k = 0; k < 6; ++k) {
        if (k > 0) out->push_back(u'.');
        AppendDecimal(out, static_cast<uint32_t>(node.AsDate()[k]));
      }
      return true;
    case u'f':
      return AppendFloat(out, node.AsFloat());
    case u'i':
      AppendSignedHex(out, node.AsInt());
      return true;
    case u'L':
      AppendSignedHex(out, node.AsInt64());
      return true;
    case u'n':
      AppendDecimal(out, node.AsInt());
      return true;
    case u'm':
      AppendDecimal(out, node.AsInt64());
      return true;
    case u'4':
    case u'N': {
      const CDynamicArray<int>* list = node.AsIntList();
      if (list == nullptr) return false;
      for (int k = 0; list != nullptr && k < list->count; ++k) {
        if (k > 0) out->push_back(u',');
        if (node.type == u'4') {
          AppendSignedHex(out, list->data[k]);
        } else {
          AppendDecimal(out, list->data[k]);
        }
      }
      return true;
    }
    case u'6': {
      const CDynamicArray<int64_t>* list = node.AsInt64List();
      if (list == nullptr) return false;
      for (int k = 0; list != nullptr && k < list->count; ++k) {
        if (k > 0) out->push_back(u',');
        AppendSignedHex(out, list->data[k]);
      }
      return true;
    }
    case u'5': {
      const CDynamicArray<Parlo_StringW>* list = node.AsTextList();
      if (list == nullptr || list->count == 0) return false;
      for (int k = 0; k < list->count; ++k) {
        if (k > 0) out->push_back(u',');
        if (!AppendEscapedText(out, list->data[k].Buffer())) return false;
      }
      return true;
    }
    case u'[': {
      const Parlo_TypedNodeList* list = node.AsList();
      return list != nullptr && AppendList(out, *list, depth + 1);
    }
    default:
      return AppendRaw(out, node.type, node.AsRaw());
  }
}

// "name=", the type letter and the value text; the type letter '[' is the
// list's opening bracket. `depth` is that of the list holding the node.
bool AppendNode(Text* out, const Parlo_TypedNode& node, int depth) {
  if (!WritableName(node.name)) return false;
  out->append(node.name.Buffer(), static_cast<size_t>(node.name.Length()));
  out->push_back(u'=');
  if (node.type == 0) return true;
  if (node.type != u'[') out->push_back(node.type);
  return AppendValue(out, node, depth);
}

bool AppendItems(Text* out, const Parlo_TypedNodeList& list) {
  for (int32_t k = 0; k < list.Count(); ++k) {
    if (k > 0) out->push_back(u'\n');  // white space at the end of an item is dropped
    out->push_back(u'#');
    if (!AppendNode(out, list.At(k), 0)) return false;
  }
  return true;
}

bool Finish(bool ok, const Text& text, Parlo_StringW* out) {
  if (out == nullptr) return ok;
  *out = ok ? Parlo_StringW(text.data(), static_cast<int>(text.size()))
            : Parlo_StringW(static_cast<const char16_t*>(nullptr));
  return ok;
}

}  // namespace

bool TypedTextWrite(const Parlo_TypedText& doc, Parlo_StringW* out) {
  Text text;
  bool ok = WritableHeader(doc.header1) && WritableHeader(doc.header2) &&
            !(doc.header1.Length() == 0 && doc.header2.Length() > 0);
  if (ok && doc.header1.Length() > 0) {
    text.append(doc.header1.Buffer(), static_cast<size_t>(doc.header1.Length()));
    text.push_back(u':');
    if (doc.header2.Length() > 0) {
      text.append(doc.header2.Buffer(), static_cast<size_t>(doc.header2.Length()));
      text.push_back(u':');
    }
  }
  ok = ok && AppendItems(&text, doc.root);
  return Finish(ok, text, out);
}

bool TypedTextWriteList(const Parlo_TypedNodeList& list, Parlo_StringW* out) {
  Text text;
  bool ok = AppendItems(&text, list);
  return Finish(ok, text, out);
}

Parlo_StringW TypedTextWrite(const Parlo_TypedText& doc) {
  Parlo_StringW out;
  TypedTextWrite(doc, &out);
  return out;
}

Parlo_StringW TypedTextWriteList(const Parlo_TypedNodeList& list) {
  Parlo_StringW out;
  TypedTextWriteList(list, &out);
  return out;
}
