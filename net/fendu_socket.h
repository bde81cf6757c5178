// IPv4 TCP client connections: Fendu_Socket works on a blocking socket,
// Fendu_Socket_Nonblocking waits by itself and can be cancelled. One thread.
#pragma once

#include <atomic>

#include "common/parlo_string.h"
#include "platform/socket.h"

class Fendu_Socket {
 public:
  Fendu_Socket() = default;
  Fendu_Socket(const Fendu_Socket&) = delete;
  Fendu_Socket& operator=(const Fendu_Socket&) = delete;
  // Not virtual: sockets are members, never deleted through the base.
  ~Fendu_Socket();

  // Connects to `host` (dotted IPv4 or a name) and `port`: 1 connected, 0
  // failed. Host and port are remembered even when it fails.
  virtual int Connect(const char* host, int port);
  // Always 1; harmless without a socket.
  virtual int Close();
  // Queues and logs "[sock] Socket error ..." for the last socket failure.
  virtual void ReportError();
  // Bytes received, 0 when the peer closed, -1 on error.
  virtual int Read(void* buffer, int length);
  // Bytes sent (maybe fewer than asked), -1 on error.
  virtual int Write(const void* data, int length);

  // Read() until it gives data (> 0) or fails; 100 orderly closes in a row count
  // as a failure, so the answer is never 0.
  int ReadSafe(void* buffer, int length);
  // Bounds a blocking Read (SO_RCVTIMEO); a non-blocking Read is not bounded by it.
  void SetTimeout(int milliseconds);
  bool IsOpen() const { return handle_ != platform::kNoSocket; }
  Parlo_String GetHost() const { return host_; }
  int GetPort() const { return port_; }
  platform::SocketHandle handle() const { return handle_; }

 protected:
  // Steps shared by both kinds of Connect: remembers host and port, starts the
  // socket layer, resolves and creates the socket. False without a report when
  // the layer or the lookup fails; with a report when creation fails.
  bool PrepareConnect(const char* host, int port, uint32_t* address);

  platform::SocketHandle handle_ = platform::kNoSocket;
  int port_ = 0;
  Parlo_String host_;
};

class Fendu_Socket_Nonblocking : public Fendu_Socket {
 public:
  // How the waits sleep. kSelect waits on the socket itself in slices of
  // kWaitSliceMs, looking at the cancel flag between slices; kSleepPoll retries
  // every millisecond (kept to measure the difference).
  enum class WaitMode { kSelect, kSleepPoll };
  static constexpr int kWaitSliceMs = 20;
  static void SetWaitMode(WaitMode mode);

  int Connect(const char* host, int port) override;
  int Read(void* buffer, int length) override;
  int Write(const void* data, int length) override;

  // Ends the wait that is running now (Connect, Read or Write); each of them
  // clears the flag when it starts. Safe to call from another thread.
  void Cancel() { cancel_ = true; }

 private:
  // One pause of a wait; answers false once the wait was cancelled.
  bool Pause(bool for_write);

  std::atomic<bool> cancel_{false};
};
