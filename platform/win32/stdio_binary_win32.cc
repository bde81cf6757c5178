// The C runtime opens standard output in text mode; switch it to binary.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/stdio_binary.h"

namespace platform {

void SetStdoutBinary() { _setmode(_fileno(stdout), _O_BINARY); }

}  // namespace platform
