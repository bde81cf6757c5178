// The process entry of the updater and the replacer: WinMain on Windows, main on
// POSIX. Both hand over to AppMain, which the program defines.
#pragma once

// The program's own entry. `instance` is the module instance (HINSTANCE) on
// Windows and null elsewhere; `command_line` is the command line without the
// program name, as WinMain's lpCmdLine has it. Answers the exit code.
int AppMain(void* instance, const char* command_line);
