// Standard output never translates bytes on POSIX.
#include "platform/stdio_binary.h"

namespace platform {

void SetStdoutBinary() {}

}  // namespace platform
