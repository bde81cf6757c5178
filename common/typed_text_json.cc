#include "common/typed_text_json.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

void AppendUtf8(std::string* out, uint32_t code) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | code >> 6));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | code >> 12));
    out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | code >> 18));
    out->push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

void AppendUnicodeEscape(std::string* out, uint32_t unit) {
  static const char kDigits[] = "0123456789abcdef";
  out->append("\\u");
  for (int shift = 12; shift >= 0; shift -= 4) out->push_back(kDigits[unit >> shift & 15]);
}

void AppendString(std::string* out, const char16_t* text, size_t length) {
  out->push_back('"');
  for (size_t k = 0; text != nullptr && k < length; ++k) {
    uint32_t c = text[k];
    switch (c) {
      case '"':
        out->append("\\\"");
        continue;
      case '\\':
        out->append("\\\\");
        continue;
      case '\n':
        out->append("\\n");
        continue;
      case '\r':
        out->append("\\r");
        continue;
      case '\t':
        out->append("\\t");
        continue;
      default:
        break;
    }
    if (c < 0x20) {
      AppendUnicodeEscape(out, c);
    } else if (c >= 0xD800 && c <= 0xDBFF && k + 1 < length && text[k + 1] >= 0xDC00 &&
               text[k + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (text[k + 1] - 0xDC00u));
      ++k;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      AppendUnicodeEscape(out, c);  // a lone surrogate has no UTF-8 form
    } else {
      AppendUtf8(out, c);
    }
  }
  out->push_back('"');
}

void AppendString(std::string* out, const char16_t* text) {
  AppendString(out, text, text == nullptr ? 0 : std::char_traits<char16_t>::length(text));
}

void AppendString(std::string* out, const Parlo_StringW& text) {
  AppendString(out, text.Buffer(), static_cast<size_t>(text.Length()));
}

template <class T>
void AppendNumber(std::string* out, T value) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, result.ptr);
}

void AppendFloat(std::string* out, float value) {
  if (std::isnan(value)) {
    out->append("\"nan\"");
  } else if (std::isinf(value)) {
    out->append(value < 0 ? "\"-inf\"" : "\"inf\"");
  } else {
    AppendNumber(out, value);
  }
}

template <class T>
void AppendArray(std::string* out, const T* values, int count) {
  out->push_back('[');
  for (int k = 0; k < count; ++k) {
    if (k > 0) out->append(", ");
    AppendNumber(out, values[k]);
  }
  out->push_back(']');
}

void AppendNodes(std::string* out, const Parlo_TypedNodeList& list, int indent);

void AppendValue(std::string* out, const Parlo_TypedNode& node, int indent) {
  switch (node.type) {
    case 0:
      out->append("null");
      return;
    case u'i':
    case u'n':
      AppendNumber(out, node.AsInt());
      return;
    case u'L':
    case u'm':
      AppendNumber(out, node.AsInt64());
      return;
    case u'f':
      AppendFloat(out, node.AsFloat());
      return;
    case u'$':
      AppendString(out, node.AsText());
      return;
    case u'2': {
      static const char kDigits[] = "0123456789abcdef";
      out->push_back('"');
      for (int32_t k = 0; node.AsBytes() != nullptr && k < node.size; ++k) {
        out->push_back(kDigits[node.AsBytes()[k] >> 4]);
        out->push_back(kDigits[node.AsBytes()[k] & 15]);
      }
      out->push_back('"');
      return;
    }
    case u'3':
      AppendArray(out, node.AsWords(), 3);
      return;
    case u'p':
      AppendArray(out, node.AsWords(), 2);
      return;
    case u'r':
      AppendArray(out, node.AsWords(), 4);
      return;
    case u'd':
      AppendArray(out, node.AsDate(), 6);
      return;
    case u'c':
    case u't': {
      unsigned bytes[4];
      for (int k = 0; k < 4; ++k) bytes[k] = node.AsBytes()[k];
      AppendArray(out, bytes, 4);
      return;
    }
    case u'4':
    case u'N': {
      const CDynamicArray<int>* values = node.AsIntList();
      AppendArray(out, values ? values->data : nullptr, values ? values->count : 0);
      return;
    }
    case u'6': {
      const CDynamicArray<int64_t>* values = node.AsInt64List();
      AppendArray(out, values ? values->data : nullptr, values ? values->count : 0);
      return;
    }
    case u'5': {
      const CDynamicArray<Parlo_StringW>* texts = node.AsTextList();
      out->push_back('[');
      for (int k = 0; texts != nullptr && k < texts->count; ++k) {
        if (k > 0) out->append(", ");
        AppendString(out, texts->data[k]);
      }
      out->push_back(']');
      return;
    }
    case u'[':
      if (node.AsList() == nullptr) {
        out->append("[]");
      } else {
        AppendNodes(out, *node.AsList(), indent);
      }
      return;
    default:
      AppendString(out, node.AsRaw());
      return;
  }
}

void AppendNode(std::string* out, const Parlo_TypedNode& node, int indent) {
  out->append("{\"name\": ");
  AppendString(out, node.name);
  out->append(", \"type\": ");
  char16_t type = node.type;
  AppendString(out, &type, type == 0 ? 0 : 1);
  out->append(", \"value\": ");
  AppendValue(out, node, indent);
  out->push_back('}');
}

// An array of nodes, one per line, indented by `indent` blanks.
void AppendNodes(std::string* out, const Parlo_TypedNodeList& list, int indent) {
  if (list.Count() == 0) {
    out->append("[]");
    return;
  }
  out->append("[\n");
  for (int32_t k = 0; k < list.Count(); ++k) {
    out->append(static_cast<size_t>(indent + 2), ' ');
    AppendNode(out, list.At(k), indent + 2);
    out->append(k + 1 < list.Count() ? ",\n" : "\n");
  }
  out->append(static_cast<size_t>(indent), ' ');
  out->push_back(']');
}

}  // namespace

Parlo_String TypedTextToJson(const Parlo_TypedText& doc) {
  std::string out = "{\n  \"header1\": ";
  AppendString(&out, doc.header1);
  out.append(",\n  \"header2\": ");
  AppendString(&out, doc.header2);
  out.append(",\n  \"nodes\": ");
  AppendNodes(&out, doc.root, 2);
  out.append("\n}\n");
  return Parlo_String(out.data(), static_cast<int>(out.size()));
}
