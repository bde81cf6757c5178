// The HTTP/1.1 client of the updater (one instance, g_http): builds and sends a
// request, reads the response head and a chunked or length-framed body into memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "common/containers.h"
#include "common/parlo_string.h"
#include "common/streams.h"
#include "net/fendu_socket.h"

struct FENDU_HTTP_HEADER {
  Parlo_String name;
  Parlo_String value;
};

// Progress of a transfer: bytes done, the total (-1 when unknown), the caller's context.
typedef void (*FENDU_HTTP_PROGRESS)(int done, int total, void* context);

// Where response bytes come from: the connection, or memory in tests. Read
// answers more than 0 bytes, or -1 when no more can come (error or close).
class Fendu_HttpInput {
 public:
  virtual int ReadSafe(void* buffer, int length) = 0;

 protected:
  ~Fendu_HttpInput() = default;
};

class HTTP {
 public:
  HTTP();
  HTTP(const HTTP&) = delete;
  HTTP& operator=(const HTTP&) = delete;
  // Closes the connection (logging "[http] HTTP::Close").
  ~HTTP();

  void SetMethod(const char* method);
  // Takes user, password, host, port and path from an address with "://";
  // parts the address does not name keep their values; without "://" nothing changes.
  void SetURL(const char* url);

  // Opens (or reuses) the connection and sends the request. False when the
  // connection failed, a write failed or the transfer was aborted.
  bool SendRequest(FENDU_HTTP_PROGRESS callback, void* context);
  // Reads and parses the response head: the status code, 0 when the first line
  // has none, -1 when reading failed (the connection is then closed), -2 aborted.
  int ReadHead();
  // Reads the body announced by the last head. On true, *data and *size hold
  // the body, which stays owned by this client until its next request.
  bool ReadBody(uint8_t** data, int* size, FENDU_HTTP_PROGRESS callback, void* context);
  // Hands the body of the last successful ReadBody to `into` (which must be
  // empty) by exchanging blocks instead of copying; the bytes that ReadBody
  // gave out then belong to `into`. False when there is no such body.
  bool TakeBody(Parlo_StreamwriterMemory* into);
  // The value of the first response header with this name (ASCII case
  // ignored); empty when there is none.
  Parlo_String GetHeader(const char* name) const;

  void Close();
  // Stops the transfer under way at its next check; safe from another thread.
  void Abort();

  // The request text SendRequest sends for the current method, address and fields.
  std::string BuildRequest() const;

  // Every caller sets this before each request.
  bool keepAlive = false;

  const Parlo_String& host() const { return host_; }
  const Parlo_String& path() const { return path_; }
  const Parlo_String& user() const { return user_; }
  const Parlo_String& password() const { return password_; }
  int port() const { return port_; }
  int contentLength() const { return contentLength_; }
  bool chunked() const { return chunked_; }
  const Parlo_String& head() const { return head_; }
  const CDynamicArray<FENDU_HTTP_HEADER>& headers() const { return headers_; }
  Fendu_Socket_Nonblocking& socket() { return socket_; }

  // Further header lines (each ending in "\r\n") and a request body; the
  // updater itself never sets them.
  void SetExtraHeaders(const char* lines) { extraHeaders_ = lines; }
  void SetBody(const char* body) { body_ = body; }

  // Test seam: read responses from `input` instead of the connection (null
  // restores the connection). Requests are still sent on the connection.
  void SetInputForTest(Fendu_HttpInput* input) { input_ = input; }

 private:
  uint32_t Identity() const;
  int ReadInput(void* buffer, int length);
  // A read failed: report it and drop the connection.
  void FailRead();
  // Whether an idle kept-alive connection has been closed by the server or
  // carries bytes nobody asked for.
  bool ConnectionIsStale();
  // Appends one read of at most `length` bytes to rawIn; false on failure.
  bool ReadRaw(int length);
  // Moves undecoded bytes of rawIn to its front.
  void CompactRaw();
  std::string_view Pending() const;
  bool ReadChunked(uint8_t** data, int* size, FENDU_HTTP_PROGRESS callback, void* context);
  bool ReadChunkTrailer();
  bool ReadStreamed(uint8_t** data, int* size, FENDU_HTTP_PROGRESS callback, void* context);
  bool FinishBody(Parlo_StreamwriterMemory* body, uint8_t** data, int* size);
  // Parses head_ into status, headers, chunked and contentLength; -1 when the
  // head breaks a limit.
  int ParseHead();

  Fendu_Socket_Nonblocking socket_;
  int contentLength_ = 0;
  bool chunked_ = false;
  std::atomic<bool> aborted_{false};
  Parlo_String method_;
  Parlo_StreamwriterMemory rawIn_;
  Parlo_StreamwriterMemory decoded_;
  // The writer that holds the last body read in full, until TakeBody or the next request.
  Parlo_StreamwriterMemory* lastBody_ = nullptr;
  Parlo_String extraHeaders_;
  Parlo_String head_;
  Parlo_String body_;
  Parlo_String user_;
  Parlo_String password_;
  Parlo_String host_;
  Parlo_String path_;
  int port_ = 80;
  CDynamicArray<FENDU_HTTP_HEADER> headers_;

  // rawIn_ bytes before this offset are decoded already.
  uint32_t rawPos_ = 0;
  // The Content-Length of the last head was negative or too large to hold.
  bool lengthRefused_ = false;
  // The last response keeps its connection open for another request: HTTP/1.1,
  // or HTTP/1.0 with "Connection: keep-alive".
  bool reusable_ = true;
  // The connection stands between two responses: the last body was read to
  // its end. Only then may the next request go out on it.
  bool atBoundary_ = false;
  // Receive block reused by every read, and the head being collected.
  std::string readBlock_;
  Parlo_StreamwriterMemory headIn_;
  Fendu_HttpInput* input_ = nullptr;
};

extern HTTP g_http;
