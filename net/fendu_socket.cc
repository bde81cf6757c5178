// The socket classes over platform/socket.h.
#include "net/fendu_socket.h"

#include <atomic>

#include "common/debug_log.h"
#include "platform/platform.h"

namespace {

// 100 orderly closes in a row make ReadSafe give up.
constexpr int kReadSafeAttempts = 100;

std::atomic<Fendu_Socket_Nonblocking::WaitMode> g_wait_mode{
    Fendu_Socket_Nonblocking::WaitMode::kSelect};

}  // namespace

Fendu_Socket::~Fendu_Socket() { Close(); }

bool Fendu_Socket::PrepareConnect(const char* host, int port, uint32_t* address) {
  host_ = host;
  port_ = port;
  Close();
  if (!platform::SocketStartup()) return false;
  if (host == nullptr || !platform::ResolveIPv4(host, address)) return false;
  handle_ = platform::SocketCreateTcp();
  if (handle_ == platform::kNoSocket) {
    ReportError();
    return false;
  }
  return true;
}

int Fendu_Socket::Connect(const char* host, int port) {
  uint32_t address = 0;
  if (!PrepareConnect(host, port, &address)) return 0;
  if (platform::SocketConnect(handle_, address, port) == platform::ConnectResult::kConnected) {
    return 1;
  }
  ReportError();
  Close();
  return 0;
}

int Fendu_Socket::Close() {
  if (handle_ != platform::kNoSocket) {
    platform::SocketClose(handle_);
    handle_ = platform::kNoSocket;
  }
  return 1;
}

void Fendu_Socket::ReportError() {
  int code = platform::SocketLastError();
  Parlo_StringW text = Parlo_StringW::FromSystemError(static_cast<uint32_t>(code));
  const char16_t* shown = text.IsNull() ? u"" : text.Buffer();
  g_errorQueue.PushError(u"[sock] Socket error %d - (%s)", code, shown);
  DebugLog(u"[sock] Socket error %d - (%s)", code, shown);
}

int Fendu_Socket::Read(void* buffer, int length) {
  return platform::SocketRecv(handle_, buffer, length);
}

int Fendu_Socket::Write(const void* data, int length) {
  return platform::SocketSend(handle_, data, length);
}

int Fendu_Socket::ReadSafe(void* buffer, int length) {
  for (int attempt = 0; attempt < kReadSafeAttempts; ++attempt) {
    int result = Read(buffer, length);
    if (result != 0) return result < 0 ? -1 : result;
  }
  return -1;
}

void Fendu_Socket::SetTimeout(int milliseconds) {
  platform::SocketSetReceiveTimeout(handle_, milliseconds);
}

void Fendu_Socket_Nonblocking::SetWaitMode(WaitMode mode) { g_wait_mode = mode; }

bool Fendu_Socket_Nonblocking::Pause(bool for_write) {
  if (g_wait_mode == WaitMode::kSleepPoll) {
    platform::SleepMs(1);
  } else if (for_write) {
    platform::SocketWaitWritable(handle_, kWaitSliceMs);
  } else {
    platform::SocketWaitReadable(handle_, kWaitSliceMs);
  }
  return !cancel_;
}

int Fendu_Socket_Nonblocking::Connect(const char* host, int port) {
  uint32_t address = 0;
  if (!PrepareConnect(host, port, &address)) return 0;
  platform::SocketSetNonBlocking(handle_);
  platform::ConnectResult started = platform::SocketConnect(handle_, address, port);
  if (started == platform::ConnectResult::kConnected) return 1;
  if (started == platform::ConnectResult::kFailed) {
    ReportError();
    Close();
    return 0;
  }
  cancel_ = false;
  // No time limit of its own: the wait ends when the system settles the
  // connection either way, or on Cancel.
  for (;;) {
    int slice = g_wait_mode == WaitMode::kSleepPoll ? 1 : kWaitSliceMs;
    platform::WaitResult result = platform::SocketWaitConnected(handle_, slice);
    if (result == platform::WaitResult::kReady) return 1;
    if (result == platform::WaitResult::kFailed || cancel_) {
      Close();
      return 0;
    }
  }
}

int Fendu_Socket_Nonblocking::Read(void* buffer, int length) {
  cancel_ = false;
  for (;;) {
    int result = platform::SocketRecv(handle_, buffer, length);
    if (result != -1) return result;
    if (!platform::SocketErrorIsWouldBlock(platform::SocketLastError())) return -1;
    if (!Pause(false)) return -1;
  }
}

int Fendu_Socket_Nonblocking::Write(const void* data, int length) {
  cancel_ = false;
  for (;;) {
    int result = platform::SocketSend(handle_, data, length);
    if (result != -1) return result;
    if (!platform::SocketErrorIsWouldBlock(platform::SocketLastError())) return -1;
    if (!Pause(true)) return -1;
  }
}
