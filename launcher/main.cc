// The updater's entry: everything happens in RunUpdater.
#include "launcher/startup.h"
#include "platform/entry.h"

int AppMain(void* instance, const char* command_line) { return RunUpdater(instance, command_line); }
