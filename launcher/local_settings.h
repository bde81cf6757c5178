// The player's local settings: the language number kept as typed text in the
// main archive's entry "_localSettings", and the opening of the two archives.
#pragma once

#include <cstdint>

class Parlo_BigFile;

// Opens the archive at `path`; when that fails, creates an empty one there and
// opens it again. A failure of the second open is not reported: the archive
// object then stays empty and start-up goes on without it.
void OpenOrCreateBigFile(Parlo_BigFile* archive, const char* path);

// Replaces "_localSettings" with "#defaultLanguage=i<hex>" and its NUL byte and
// saves the archive.
void StoreLanguage(Parlo_BigFile* archive, int32_t language);

// The "defaultLanguage" of "_localSettings", or 0 when the entry or key is missing.
int32_t ReadLanguage(Parlo_BigFile* archive);
