// Makes the standard output stream carry bytes unchanged (no CR inserted before
// LF on Windows), for tools that write file contents there.
#pragma once

namespace platform {

void SetStdoutBinary();

}  // namespace platform
