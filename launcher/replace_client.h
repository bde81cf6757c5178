// The hand-over to the replacer: the updater writes the replacer program beside
// the game and starts it with its own command line, then ends.
#pragma once

#include "common/parlo_string.h"

// File name of the replacer in the game directory.
inline constexpr const char kReplacerFileName[] = "vossarium_exereplace.exe";

// Writes the embedded replacer as `gameDirectory` + "vossarium_exereplace.exe"
// and starts it there with the updater's own command line; when the direct
// start fails, the shell is asked to start it. Tells the player when it cannot
// be written or started. `gameDirectory` ends in the path separator.
void WriteAndStartReplacer(const Parlo_String& gameDirectory);
