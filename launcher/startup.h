// Start-up of the updater: the game directory, the "--configurelanguage" mode,
// the graphics runtime check and the opening of the archives before the update.
#pragma once

#include <cstdint>

#include "common/parlo_string.h"

class Parlo_BigFile;

// Directory of the running executable, ending in the platform's separator.
extern Parlo_String g_gameDirectory;
// The player's language number, read from the local settings (0 when unset).
extern int32_t g_language;
// "Vossarium.kbf" and "Layers.kbf" of the game directory, open for the whole run.
extern Parlo_BigFile g_mainBigFile;
extern Parlo_BigFile g_layersBigFile;

// The path up to and including its last separator; empty when it has none.
Parlo_String GameDirectoryFromPath(const char* module_path, char separator);

// Whether the command line holds "--configurelanguage" anywhere (a plain,
// case-sensitive substring search); when it does, *language receives the number
// that follows it, or 0 when none can be read.
bool FindConfigureLanguage(const char* command_line, int32_t* language);

// Probes "d3dx9_31.dll" and "d3dx9_39.dll". When one is missing, asks the player
// whether to open the download page (and opens it on Yes) and answers false.
bool CheckGraphicsRuntime();

// The updater's whole start-up; answers the process exit code.
int RunUpdater(void* instance, const char* command_line);
