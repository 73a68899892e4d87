#include "platform/local_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

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

std::string HostNameAddress() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0) return "";
  std::string address;
  for (addrinfo* a = found; a != nullptr && address.empty(); a = a->ai_next) {
    const in_addr& ip = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
    if (!IsLoopback(ip)) address = Dotted(ip);
  }
  freeaddrinfo(found);
  return address;
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
  std::string address = HostNameAddress();
  if (address.empty()) address = InterfaceAddress();
  return address.empty() ? "127.0.0.1" : address;
}

}  // namespace platform
