// Sends a few texts to the debugger output, for the capture tool's test: plain
// ASCII, Latin, Greek and CJK letters, and a character beyond the BMP.
#include "platform/platform.h"

int main() {
  platform::DebugOutput(u"[update] plain ASCII\n");
  platform::DebugOutput(u"[update] Caf\u00E9 \u00FCber na\u00EFve\n");
  platform::DebugOutput(u"[http] \u039A\u03B1\u03BB\u03B7\u03BC\u03AD\u03C1\u03B1 \u4F60\u597D ");
  platform::DebugOutput(u"\U0001F600 no line break");
  return 7;
}
