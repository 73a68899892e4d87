#include "platform/ipv4_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>

namespace platform {

namespace {

std::string Dotted(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = "";
  return inet_ntop(AF_INET, &address, text, sizeof text) != nullptr ? text : "";
}

}  // namespace

std::string HostNameAddress() {
  char name[HOST_NAME_MAX + 1] = "";
  if (gethostname(name, sizeof name - 1) != 0) return "";
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &result) != 0 || result == nullptr) return "";
  std::string first = Dotted(reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr);
  freeaddrinfo(result);
  return first;
}

std::string SourceAddressFor(const std::string& address) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(9);  // any port: the route depends on the address alone
  if (inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) return "";
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (s < 0) return "";
  std::string source;
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
      local.sin_addr.s_addr != htonl(INADDR_ANY)) {
    source = Dotted(local.sin_addr);
  }
  close(s);
  return source;
}

bool IsDottedIPv4(const std::string& text) {
  in_addr address;
  return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool IsLoopbackIPv4(const std::string& address) {
  in_addr parsed;
  return inet_pton(AF_INET, address.c_str(), &parsed) == 1 &&
         (ntohl(parsed.s_addr) >> 24) == IN_LOOPBACKNET;
}

}  // namespace platform
