#include "tools/publish/resource_name.h"

#include <cstdint>

#include "common/parlo_string.h"
#include "common/typed_text.h"

namespace publish {

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    uint8_t lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    int extra;
    uint32_t code;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      uint8_t next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF))) {
      return false;
    }
    if (code >= 0xD800 && code <= 0xDFFF) return false;
    i += extra + 1;
  }
  return true;
}

std::string CheckResourceName(std::string_view name) {
  if (name.empty()) return "is empty";
  if (name.size() > kMaxNameBytes) {
    return "is " + std::to_string(name.size()) + " bytes long; entry names are limited to " +
           std::to_string(kMaxNameBytes) + " bytes";
  }
  if (!IsValidUtf8(name)) return "is not valid UTF-8; names travel as UTF-8 text";
  for (char c : name) {
    uint8_t byte = static_cast<uint8_t>(c);
    if (byte < 0x20 || byte == 0x7F) return "holds a control character";
    switch (c) {
      case '#':
      case '[':
      case ']':
      case '|':
      case '=':
        return std::string("holds \"") + c + "\", which the resource list cannot carry in a name";
      default:
        break;
    }
  }
  // A list item sheds white space at its end, and the list writer refuses such
  // a name rather than let it change on the way.
  Parlo_StringW wide(std::string(name).c_str());
  if (wide.Length() > 0 && TypedTextIsSpace(wide.Buffer()[wide.Length() - 1])) {
    return "ends in white space, which the resource list cannot carry";
  }
  return "";
}

std::string FoldCase(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace publish
