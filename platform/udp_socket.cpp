#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform {

namespace {

// Fills `address` from dotted text ("" = any) and a port; false when the text is no address.
bool ToSocketAddress(const std::string& text, uint16_t port, sockaddr_in* address) {
  *address = sockaddr_in{};
  address->sin_family = AF_INET;
  address->sin_port = htons(port);
  if (text.empty()) {
    address->sin_addr.s_addr = htonl(INADDR_ANY);
    return true;
  }
  return inet_pton(AF_INET, text.c_str(), &address->sin_addr) == 1;
}

}  // namespace

SocketHandle OpenUdp() {
  SocketHandle s = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
  if (s < 0) return kInvalidSocket;
  int one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  return s;
}

bool SetMulticastSending(SocketHandle socket, const std::string& interface_address, int ttl) {
  in_addr interface {};
  bool ok = inet_pton(AF_INET, interface_address.c_str(), &interface) == 1 &&
            setsockopt(socket, IPPROTO_IP, IP_MULTICAST_IF, &interface, sizeof interface) == 0;
  unsigned char hops = static_cast<unsigned char>(ttl);
  return setsockopt(socket, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops) == 0 && ok;
}

bool BindUdp(SocketHandle socket, const std::string& address, uint16_t port) {
  sockaddr_in local;
  return ToSocketAddress(address, port, &local) &&
         bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool SendDatagram(SocketHandle socket, const std::string& address, uint16_t port,
                  std::string_view data, int* error) {
  sockaddr_in peer;
  if (!ToSocketAddress(address, port, &peer) || address.empty()) {
    *error = EINVAL;
    return false;
  }
  ssize_t sent = sendto(socket, data.data(), data.size(), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
  if (sent == static_cast<ssize_t>(data.size())) return true;
  *error = sent < 0 ? errno : EMSGSIZE;
  return false;
}

IoStatus ReceiveDatagram(SocketHandle socket, size_t capacity, std::string* data,
                         std::string* sender_address, uint16_t* sender_port, int* error) {
  std::vector<char> buffer(capacity);
  sockaddr_in peer{};
  socklen_t peer_length = sizeof peer;
  ssize_t n = recvfrom(socket, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&peer),
                       &peer_length);
  if (n < 0) {
    *error = errno;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? IoStatus::kWouldBlock
                                                                     : IoStatus::kError;
  }
  data->assign(buffer.data(), static_cast<size_t>(n));
  char text[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
  *sender_address = text;
  *sender_port = ntohs(peer.sin_port);
  return IoStatus::kDone;
}

}  // namespace platform
