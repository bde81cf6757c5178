// Sizes and limits of the HTTP client: how much it asks for per read and how
// much server data it accepts before it calls a response broken.
#pragma once

#include <cstdint>

namespace http_limits {

// A response head is read in blocks of this size (one byte kept for a zero).
inline constexpr int kHeadReadBytes = 16383;
// A head that has not ended after this many bytes is not an HTTP head.
inline constexpr int kMaxHeadBytes = 64 * 1024;
// Longest single line of a head; a server that sends more is not trusted.
inline constexpr int kMaxHeaderLineBytes = 8 * 1024;
// Most header lines kept for one response.
inline constexpr int kMaxHeaderCount = 100;

// Longest chunk size line, extensions included.
inline constexpr int kMaxChunkLineBytes = 4096;
// Trailer lines behind the last chunk, all together.
inline constexpr int kMaxTrailerBytes = 64 * 1024;

// Body bytes (chunked or not) are received in reads of at most this size into
// one reused block; bigger reads mean fewer system calls and progress reports.
inline constexpr int kBodyReadBytes = 256 * 1024;

// The largest body the client holds in memory. Resources are far smaller; a
// Content-Length or chunk size beyond it is refused rather than trusted.
inline constexpr int64_t kMaxBodyBytes = int64_t{1} << 30;

// Requests are written in pieces of at most this size.
inline constexpr int kWritePieceBytes = 16384;

// Receive time-out set on every request; it bounds only blocking reads.
inline constexpr int kReceiveTimeoutMs = 10000;

}  // namespace http_limits
