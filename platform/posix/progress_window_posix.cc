// POSIX has no dialog window: the console front end shows the progress instead,
// and these calls keep the window front end usable (and testable) everywhere.
#include "platform/progress_window.h"

namespace platform {

ProgressWindow ProgressWindowOpen(void*, const ProgressWindowEvents&) { return nullptr; }
void ProgressWindowDestroy(ProgressWindow) {}
void PumpMessages(ProgressWindow) {}
void ProgressWindowSetStatus(ProgressWindow, const char16_t*) {}
void ProgressWindowSetTitle(ProgressWindow, const char16_t*) {}
void ProgressWindowSetPosition(ProgressWindow, uint32_t) {}
void ProgressWindowSetRange(ProgressWindow, uint32_t) {}
bool ProgressWindowAvailable() { return false; }
void ProgressWindowClickCancel(ProgressWindow) {}

}  // namespace platform
