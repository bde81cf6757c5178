// IPv4 TCP client sockets for the network subsystem: Windows Sockets on Windows,
// BSD sockets on POSIX, behind one set of calls that report failures the same way.
#pragma once

#include <cstdint>

namespace platform {

// A socket handle; 0 means "no socket" on both targets (POSIX descriptors are
// kept shifted by one so that descriptor 0 stays usable).
using SocketHandle = uint64_t;
inline constexpr SocketHandle kNoSocket = 0;

// Starts the socket layer: WSAStartup asking for version 1.1 on Windows; on
// POSIX it makes sure a write to a closed connection never raises SIGPIPE.
// Answers false when the layer cannot be used.
bool SocketStartup();

// Resolves a dotted IPv4 address or a host name to an address in network byte
// order. A text that is not a dotted address (255.255.255.255 included) goes to
// the name lookup; a lookup that fails or answers all-ones gives false.
bool ResolveIPv4(const char* host, uint32_t* address);

// A new TCP socket, or kNoSocket (the error is then SocketLastError()).
SocketHandle SocketCreateTcp();
void SocketClose(SocketHandle socket);
bool SocketSetNonBlocking(SocketHandle socket);

enum class ConnectResult { kConnected, kPending, kFailed };
// Starts a connection to `address` (network order) and `port`. On a
// non-blocking socket a connection under way answers kPending.
ConnectResult SocketConnect(SocketHandle socket, uint32_t address, int port);

enum class WaitResult { kReady, kTimeout, kFailed };
// Waits up to `timeout_ms` for a pending connection to finish. kFailed when the
// system reports that it did not come about (SocketLastError() then holds why).
WaitResult SocketWaitConnected(SocketHandle socket, int timeout_ms);
// Waits up to `timeout_ms` until the socket can be read (data, end of stream or
// an error) or written.
WaitResult SocketWaitReadable(SocketHandle socket, int timeout_ms);
WaitResult SocketWaitWritable(SocketHandle socket, int timeout_ms);

// One recv/send with no flags (and no SIGPIPE); the system's result unchanged:
// bytes moved, 0 for an orderly close on receive, -1 on error.
int SocketRecv(SocketHandle socket, void* buffer, int length);
int SocketSend(SocketHandle socket, const void* data, int length);

// The receive time-out (SO_RCVTIMEO) of a blocking socket.
bool SocketSetReceiveTimeout(SocketHandle socket, int milliseconds);

// The code of the last socket failure on this thread (WSAGetLastError or errno).
int SocketLastError();
// Whether that code says "would block / under way" rather than a failure.
bool SocketErrorIsWouldBlock(int code);

}  // namespace platform
