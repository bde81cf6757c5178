// One download of a resource from the update server through g_http, with
// progress shown by the update front end.
#pragma once

#include <cstdint>

class Fendu_Update;
class Parlo_Streamwriter;

// Room of the caller's address buffer, the platform's path limit.
inline constexpr int kUpdateUrlBytes = 260;

// Bytes of the resources already completed in this update run; the update
// procedure keeps it, the progress report adds it to the current file's bytes.
extern uint32_t g_downloaded;

// Fetches `url` (a zero-terminated address in a buffer of kUpdateUrlBytes) in
// one attempt. True when the whole body arrived; it is then written to `out`
// with one Write. On a 301 answer whose Location fits the buffer (with its
// terminator) the buffer receives that address for the caller's next attempt,
// and the answer is false. `frontEnd` may be null.
bool Fendu_DownloadFromUpdateURL(Fendu_Update* frontEnd, char* url, Parlo_Streamwriter* out);

// The progress callback of the download: moves the front end's bar to
// g_downloaded + done and shows the megabytes. `context` is the front end.
void DownloadProgress(int done, int total, void* context);
