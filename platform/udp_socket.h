// Thin IPv4 UDP layer over POSIX sockets for the gateway discovery.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/tcp_socket.h"

namespace platform {

// Opens a non-blocking IPv4 UDP socket with address reuse on; kInvalidSocket on failure.
SocketHandle OpenUdp();

// Multicast datagrams sent from `socket` leave through the interface that holds dotted
// `interface_address`, with time-to-live `ttl`. False when either option is refused.
bool SetMulticastSending(SocketHandle socket, const std::string& interface_address, int ttl);

// Binds to dotted `address` ("" = every local address) and `port` (0 = a free one).
bool BindUdp(SocketHandle socket, const std::string& address, uint16_t port);

// Sends one datagram to dotted `address` and `port`; false with *error on failure.
bool SendDatagram(SocketHandle socket, const std::string& address, uint16_t port,
                  std::string_view data, int* error);

// Receives one datagram of at most `capacity` bytes (a longer one is cut) into *data, with its
// sender's dotted address and port. kDone also for an empty datagram.
IoStatus ReceiveDatagram(SocketHandle socket, size_t capacity, std::string* data,
                         std::string* sender_address, uint16_t* sender_port, int* error);

}  // namespace platform
