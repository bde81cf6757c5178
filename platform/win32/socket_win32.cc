// Sockets over Windows Sockets 1.1 calls (ws2_32), the handles widened to 64 bits.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "platform/socket.h"

namespace platform {

namespace {

SOCKET Raw(SocketHandle socket) { return static_cast<SOCKET>(socket); }

// select() on one socket for the given sets; answers its result.
int SelectOne(SocketHandle socket, bool read, bool write, bool except, int timeout_ms,
              bool* in_write, bool* in_except) {
  fd_set read_set, write_set, except_set;
  FD_ZERO(&read_set);
  FD_ZERO(&write_set);
  FD_ZERO(&except_set);
  if (read) FD_SET(Raw(socket), &read_set);
  if (write) FD_SET(Raw(socket), &write_set);
  if (except) FD_SET(Raw(socket), &except_set);
  timeval timeout = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  int result = select(0, read ? &read_set : nullptr, write ? &write_set : nullptr,
                      except ? &except_set : nullptr, timeout_ms < 0 ? nullptr : &timeout);
  if (in_write) *in_write = write && FD_ISSET(Raw(socket), &write_set);
  if (in_except) *in_except = except && FD_ISSET(Raw(socket), &except_set);
  return result;
}

}  // namespace

bool SocketStartup() {
  WSADATA data;
  return WSAStartup(0x0101, &data) == 0;
}

bool ResolveIPv4(const char* host, uint32_t* address) {
  unsigned long direct = inet_addr(host);
  if (direct != INADDR_NONE) {
    *address = static_cast<uint32_t>(direct);
    return true;
  }
  hostent* entry = gethostbyname(host);
  if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr) {
    return false;
  }
  uint32_t first;
  memcpy(&first, entry->h_addr_list[0], sizeof(first));
  if (first == INADDR_NONE) return false;
  *address = first;
  return true;
}

SocketHandle SocketCreateTcp() {
  SOCKET created = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (created == INVALID_SOCKET) return kNoSocket;
  return static_cast<SocketHandle>(created);
}

void SocketClose(SocketHandle socket) {
  if (socket != kNoSocket) closesocket(Raw(socket));
}

bool SocketSetNonBlocking(SocketHandle socket) {
  u_long on = 1;
  return ioctlsocket(Raw(socket), FIONBIO, &on) == 0;
}

ConnectResult SocketConnect(SocketHandle socket, uint32_t address, int port) {
  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<u_short>(port));
  target.sin_addr.s_addr = address;
  if (connect(Raw(socket), reinterpret_cast<sockaddr*>(&target), sizeof(target)) == 0) {
    return ConnectResult::kConnected;
  }
  return WSAGetLastError() == WSAEWOULDBLOCK ? ConnectResult::kPending : ConnectResult::kFailed;
}

WaitResult SocketWaitConnected(SocketHandle socket, int timeout_ms) {
  bool in_write = false, in_except = false;
  int result = SelectOne(socket, false, true, true, timeout_ms, &in_write, &in_except);
  if (result < 0) return WaitResult::kFailed;
  if (result == 0) return WaitResult::kTimeout;
  if (in_write) return WaitResult::kReady;
  // A refused connection lands in the exception set; SO_ERROR says why.
  int error = 0;
  int length = sizeof(error);
  if (getsockopt(Raw(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) ==
          0 &&
      error != 0) {
    WSASetLastError(error);
  }
  return WaitResult::kFailed;
}

WaitResult SocketWaitReadable(SocketHandle socket, int timeout_ms) {
  int result = SelectOne(socket, true, false, false, timeout_ms, nullptr, nullptr);
  if (result < 0) return WaitResult::kFailed;
  return result == 0 ? WaitResult::kTimeout : WaitResult::kReady;
}

WaitResult SocketWaitWritable(SocketHandle socket, int timeout_ms) {
  int result = SelectOne(socket, false, true, false, timeout_ms, nullptr, nullptr);
  if (result < 0) return WaitResult::kFailed;
  return result == 0 ? WaitResult::kTimeout : WaitResult::kReady;
}

int SocketRecv(SocketHandle socket, void* buffer, int length) {
  return recv(Raw(socket), static_cast<char*>(buffer), length, 0);
}

int SocketSend(SocketHandle socket, const void* data, int length) {
  return send(Raw(socket), static_cast<const char*>(data), length, 0);
}

bool SocketSetReceiveTimeout(SocketHandle socket, int milliseconds) {
  DWORD value = static_cast<DWORD>(milliseconds);
  return setsockopt(Raw(socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value),
                    sizeof(value)) == 0;
}

int SocketLastError() { return WSAGetLastError(); }

bool SocketErrorIsWouldBlock(int code) { return code == WSAEWOULDBLOCK; }

}  // namespace platform
