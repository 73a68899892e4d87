// Thin non-blocking TCP layer over POSIX sockets for the socket server and the gateway client.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

using SocketHandle = int;
constexpr SocketHandle kInvalidSocket = -1;

// Opens a non-blocking IPv4 listening socket on all interfaces with SO_REUSEADDR.
// `port` is decimal text; "0" picks a free port (see LocalPort). kInvalidSocket on failure.
SocketHandle ListenTcp(const std::string& port, int backlog);

// The port a bound socket listens on, or 0.
int LocalPort(SocketHandle socket);

// Accepts one pending connection as a non-blocking socket; kInvalidSocket when none is
// pending or accept failed.
SocketHandle AcceptConnection(SocketHandle listener);
// As AcceptConnection, and the peer's address as PeerAddress gives it, taken from the accept
// itself rather than asked of the socket afterwards.
SocketHandle AcceptConnection(SocketHandle listener, std::string* peer);

// Has the kernel hand a listener's connections over only once their first bytes have arrived
// (or after about a second without any), so that an accepted connection can be read at once
// instead of after another readiness wait.
void DeferAcceptUntilData(SocketHandle listener);

// Starts a non-blocking connection to dotted IPv4 `address` and decimal `port` and returns
// its socket, usually before the connection is made: wait for the socket to become writable,
// then ask ConnectResult. kInvalidSocket with *error when the address or port is not numeric
// or the connection failed at once.
SocketHandle ConnectTcp(const std::string& address, const std::string& port, int* error);

// 0 once a connection started by ConnectTcp is made, else its error code.
int ConnectResult(SocketHandle socket);

// The address of the connected peer as text ("127.0.0.1", "::1"); "" when unknown.
std::string PeerAddress(SocketHandle socket);

// Raises the soft limit of open descriptors to the hard limit, so the server can hold as many
// connections as the system allows it. Returns the soft limit in force afterwards.
long RaiseDescriptorLimit();

enum class IoStatus { kDone, kWouldBlock, kClosed, kError };

// One recv / send call. kDone with *count > 0 when bytes moved; kClosed when the peer has
// closed (recv only); kError for a hard failure (the code is in *error).
IoStatus ReceiveSome(SocketHandle socket, char* buffer, size_t size, size_t* count, int* error);
IoStatus SendSome(SocketHandle socket, const char* data, size_t size, size_t* count, int* error);

// Looks at the next byte the peer sent without taking it from the socket.
IoStatus PeekByte(SocketHandle socket, unsigned char* byte, int* error);

void CloseSocket(SocketHandle socket);

struct ReadinessWatch {
  SocketHandle socket;
  bool want_write = false;  // watch for writability instead of readability
  bool ready = false;       // set by WaitReady (also on hang-up or error)
  // Watch only for the peer ending its side (or an error), not for bytes to read.
  bool hang_up_only = false;
};

// Waits at most `timeout_us` microseconds for any watched socket to become ready.
// Returns the number of ready sockets (0 on time-out or error).
int WaitReady(std::vector<ReadinessWatch>* watches, int timeout_us);

}  // namespace platform
