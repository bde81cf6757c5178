// Whether a standard stream is a terminal, so that tools show live progress to
// a person and stay quiet in scripts and logs.
#pragma once

namespace platform {

// True when standard error is an interactive terminal (a console on Windows).
bool StandardErrorIsTerminal();

// Runs `handler` when the player presses Ctrl-C (SIGINT; on Windows also
// Ctrl-Break), instead of ending the process. Only the first press is caught: a
// second one ends the process the ordinary way. `handler` runs in a signal
// handler (POSIX) or on a thread of its own (Windows), so it may only touch
// lock-free atomics. Null restores the ordinary behaviour. False on failure.
bool SetInterruptHandler(void (*handler)());

}  // namespace platform
