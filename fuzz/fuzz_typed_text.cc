// Any bytes, read as UTF-8 typed text, must parse without a fault; a tree that
// the writer accepts must read back equal, and must dump as JSON.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/typed_text.h"
#include "common/typed_text_json.h"
#include "common/typed_text_writer.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text =
      platform::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
  Parlo_TypedText doc(text.data(), static_cast<int32_t>(text.size()));
  TypedTextToJson(doc);

  Parlo_StringW written;
  if (!TypedTextWrite(doc, &written)) return 0;
  Parlo_TypedText again(written.Buffer(), written.Length());
  if (!(again.root == doc.root) || again.header1 != doc.header1 || again.header2 != doc.header2) {
    abort();
  }
  // The written form is a fixed point: writing the copy gives the same text.
  if (TypedTextWrite(again) != written) abort();
  return 0;
}
