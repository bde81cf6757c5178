// The test seams' storage, shared by both implementations of the platform layer:
// the hook a test installed, copied under one lock, or an empty function.
#pragma once

#include "platform/platform.h"
#include "platform/process.h"

namespace platform::hooks {

MessageBoxHook CurrentMessageBoxHook();
LibraryHook CurrentLibraryHook();
ShellOpenHook CurrentShellOpenHook();
ProcessStartHook CurrentProcessStartHook();
ShellStartHook CurrentShellStartHook();

}  // namespace platform::hooks
