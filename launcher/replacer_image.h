// The replacer program's built image, carried inside the updater byte for byte
// and written out beside the game at the hand-over.
#pragma once

#include <cstdint>

extern const unsigned char g_replacerImage[];
extern const uint32_t g_replacerImageSize;
