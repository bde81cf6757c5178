// The replacer's entry: no window, no arguments of its own; the command line is
// only passed on to the game.
#include "platform/entry.h"
#include "replacer/platform_system.h"

int AppMain(void*, const char*) {
  PlatformReplacerSystem system;
  return RunReplacer(system);
}
