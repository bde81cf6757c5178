// Sockets over BSD sockets. Descriptors are stored shifted by one so that the
// handle 0 keeps meaning "no socket", as it does for Windows Sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/socket.h"

namespace platform {

namespace {

int Fd(SocketHandle socket) { return static_cast<int>(socket) - 1; }

// poll() on one descriptor, retried when a signal interrupts it.
int PollOne(int fd, short events, int timeout_ms, short* revents) {
  pollfd entry = {fd, events, 0};
  int result;
  do {
    result = poll(&entry, 1, timeout_ms);
  } while (result < 0 && errno == EINTR);
  *revents = entry.revents;
  return result;
}

}  // namespace

bool SocketStartup() {
  // A peer that closed its end must show as an error on send, not end the process.
  // (send also passes MSG_NOSIGNAL; this covers any other path to the socket.)
  static const bool ignored = signal(SIGPIPE, SIG_IGN) != SIG_ERR;
  (void)ignored;
  return true;
}

bool ResolveIPv4(const char* host, uint32_t* address) {
  in_addr_t direct = inet_addr(host);
  if (direct != INADDR_NONE) {
    *address = direct;
    return true;
  }
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  uint32_t first = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  if (first == INADDR_NONE) return false;
  *address = first;
  return true;
}

SocketHandle SocketCreateTcp() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return kNoSocket;
  return static_cast<SocketHandle>(fd) + 1;
}

void SocketClose(SocketHandle socket) {
  if (socket != kNoSocket) close(Fd(socket));
}

bool SocketSetNonBlocking(SocketHandle socket) {
  int flags = fcntl(Fd(socket), F_GETFL, 0);
  return flags >= 0 && fcntl(Fd(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}

ConnectResult SocketConnect(SocketHandle socket, uint32_t address, int port) {
  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<uint16_t>(port));
  target.sin_addr.s_addr = address;
  if (connect(Fd(socket), reinterpret_cast<sockaddr*>(&target), sizeof(target)) == 0) {
    return ConnectResult::kConnected;
  }
  if (errno == EINPROGRESS || errno == EINTR) return ConnectResult::kPending;
  return ConnectResult::kFailed;
}

WaitResult SocketWaitConnected(SocketHandle socket, int timeout_ms) {
  short revents = 0;
  int ready = PollOne(Fd(socket), POLLOUT, timeout_ms, &revents);
  if (ready < 0) return WaitResult::kFailed;
  if (ready == 0) return WaitResult::kTimeout;
  // A refused connection shows as writable with SO_ERROR set; Windows reports
  // it in the exception set instead. Both come out as kFailed here.
  int error = 0;
  socklen_t length = sizeof(error);
  if (getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
    return WaitResult::kFailed;
  if (error != 0) {
    errno = error;
    return WaitResult::kFailed;
  }
  return WaitResult::kReady;
}

WaitResult SocketWaitReadable(SocketHandle socket, int timeout_ms) {
  short revents = 0;
  int ready = PollOne(Fd(socket), POLLIN, timeout_ms, &revents);
  if (ready < 0) return WaitResult::kFailed;
  return ready == 0 ? WaitResult::kTimeout : WaitResult::kReady;
}

WaitResult SocketWaitWritable(SocketHandle socket, int timeout_ms) {
  short revents = 0;
  int ready = PollOne(Fd(socket), POLLOUT, timeout_ms, &revents);
  if (ready < 0) return WaitResult::kFailed;
  return ready == 0 ? WaitResult::kTimeout : WaitResult::kReady;
}

int SocketRecv(SocketHandle socket, void* buffer, int length) {
  ssize_t result = recv(Fd(socket), buffer, static_cast<size_t>(length), 0);
  return static_cast<int>(result);
}

int SocketSend(SocketHandle socket, const void* data, int length) {
  ssize_t result = send(Fd(socket), data, static_cast<size_t>(length), MSG_NOSIGNAL);
  return static_cast<int>(result);
}

bool SocketSetReceiveTimeout(SocketHandle socket, int milliseconds) {
  timeval timeout = {};
  timeout.tv_sec = milliseconds / 1000;
  timeout.tv_usec = (milliseconds % 1000) * 1000;
  return setsockopt(Fd(socket), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout)) == 0;
}

int SocketLastError() { return errno; }

bool SocketErrorIsWouldBlock(int code) {
  return code == EWOULDBLOCK || code == EAGAIN || code == EINPROGRESS || code == EINTR;
}

}  // namespace platform
