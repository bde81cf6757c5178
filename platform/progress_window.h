// The updater's progress window: a modeless dialog (template 102) with a status
// line, a progress bar and a Cancel button, serviced only by PumpMessages.
#pragma once

#include <cstdint>

namespace platform {

// What the window reports to its owner. Both run inside PumpMessages (or inside
// the window's creation) on the thread that pumps.
struct ProgressWindowEvents {
  // The Cancel button was pressed (each press calls it again).
  void (*on_cancel)() = nullptr;
  // The window became the active window (true) or lost that place (false).
  void (*on_activate)(bool active) = nullptr;
};

// Opaque handle of the window; null means "no window".
using ProgressWindow = void*;

// Creates the dialog from template 102 of `instance`, without owner, and shows
// it. Closing the window (Alt+F4) ends the process at once with exit code 0.
// Null when it cannot be created (always on POSIX, which has no such window).
ProgressWindow ProgressWindowOpen(void* instance, const ProgressWindowEvents& events);
// Destroys the window; a null window is ignored, as by all the calls below.
void ProgressWindowDestroy(ProgressWindow window);
// Takes every waiting message of the window through the dialog procedure; never waits.
void PumpMessages(ProgressWindow window);
// The text of the status line (edit control 1000).
void ProgressWindowSetStatus(ProgressWindow window, const char16_t* text);
void ProgressWindowSetTitle(ProgressWindow window, const char16_t* text);
// Moves the bar (control 1004) to `position`.
void ProgressWindowSetPosition(ProgressWindow window, uint32_t position);
// Gives the bar the range 0 to `range` and puts it back at 0.
void ProgressWindowSetRange(ProgressWindow window, uint32_t range);

// Whether this system has the progress window at all (false on POSIX, where
// the update runs with the console front end).
bool ProgressWindowAvailable();
// Queues a click on the Cancel button, as a player would make it; it takes
// effect in the next PumpMessages. For tests of the real window.
void ProgressWindowClickCancel(ProgressWindow window);

}  // namespace platform
