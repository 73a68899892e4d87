#include "platform/local_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace platform {

namespace {

bool IsLoopback(const in_addr& address) {
  return (ntohl(address.s_addr) >> 24) == 127;
}

std::string Dotted(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

// The IPv4 addresses the host name resolves to, in the resolver's order.
std::vector<in_addr> HostNameAddresses() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0) return {};
  std::vector<in_addr> addresses;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    addresses.push_back(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr);
  }
  freeaddrinfo(found);
  return addresses;
}

std::string InterfaceAddress() {
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return "";
  std::string address;
  for (ifaddrs* i = interfaces; i != nullptr && address.empty(); i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    if ((i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_LOOPBACK) != 0) continue;
    const in_addr& ip = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr;
    if (!IsLoopback(ip)) address = Dotted(ip);
  }
  freeifaddrs(interfaces);
  return address;
}

}  // namespace

std::string LocalIpv4Address() {
  for (const in_addr& ip : HostNameAddresses()) {
    if (!IsLoopback(ip)) return Dotted(ip);
  }
  std::string address = InterfaceAddress();
  return address.empty() ? "127.0.0.1" : address;
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

std::vector<std::string> InterfaceAddresses() {
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return {};
  std::vector<std::string> addresses;
  for (ifaddrs* i = interfaces; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    if ((i->ifa_flags & IFF_UP) == 0) continue;
    addresses.push_back(Dotted(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr));
  }
  freeifaddrs(interfaces);
  return addresses;
}

std::string HostNameAddress() {
  std::vector<in_addr> addresses = HostNameAddresses();
  return addresses.empty() ? "" : Dotted(addresses.front());
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
  return inet_pton(AF_INET, address.c_str(), &parsed) == 1 && IsLoopback(parsed);
}

}  // namespace platform
