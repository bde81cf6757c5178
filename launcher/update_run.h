// The update run: fetch the resource list, download what is missing or outdated
// into the archives one resource at a time, then deploy the game executable.
#pragma once

#include <cstdint>
#include <memory>

#include "common/parlo_string.h"

class Fendu_Update;
class Parlo_TypedText;

// The update server's base address: scheme, host and a trailing "/".
extern char g_updateBaseURL[1024];

// The pause after a failed download attempt (3000 ms; only test builds change it).
extern uint32_t g_retryPauseMs;

// Resources whose download makes the run deploy the game executable again.
extern const char* const g_clientResources[6];

// Shows `text` in a message box captioned "Vossarium - Fatal error!" and ends
// the process with exit code 0.
[[noreturn]] void FatalError(const char* text);

// The resource-list request for this front end with the given "firg" value.
Parlo_String ResourceListAddress(Fendu_Update* frontEnd, int firg);

// The download base: the front end's base address, or, when the list names
// mirrors, the "url" of the mirror the next random draw picks.
Parlo_String ChooseDownloadBase(Fendu_Update* frontEnd, const Parlo_TypedText& list);

// Outcome of unpacking a compressed resource body.
enum class UnpackResult {
  kOk,
  kZeroLength,  // the prefix announces 0 bytes
  kFailed,      // short, dishonest, too large to hold, damaged or of another length
};

// Unpacks a compressed resource body (4-byte little-endian length, then a zlib
// stream) into `out`, which receives exactly the announced number of bytes.
UnpackResult UnpackResource(const uint8_t* body, uint32_t length, std::unique_ptr<uint8_t[]>* out,
                            uint32_t* out_length);

// A block that unpacking reuses from one resource to the next; it grows to the
// largest resource and is never shrunk.
struct UnpackBuffer {
  std::unique_ptr<uint8_t[]> block;
  uint32_t capacity = 0;
};

// The same into `out`'s block, which grows when the announced length needs it.
UnpackResult UnpackResource(const uint8_t* body, uint32_t length, UnpackBuffer* out,
                            uint32_t* out_length);

// One whole update run on the front end. True when it completed, false when
// the player cancelled; every other outcome ends the process inside it.
bool Fendu_RunUpdate(Fendu_Update* frontEnd);
