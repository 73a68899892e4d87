// Test helper: an Internet gateway on 127.0.0.1, run on its own thread. It answers searches on
// a UDP port and serves its description and the SOAP actions on a TCP port, recording every
// datagram and request it receives.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/mutex.h"
#include "platform/tcp_socket.h"
#include "server/upnp/upnp_port_mapper.h"

// A UDP port nobody holds now, for a mapper's search socket to bind.
uint16_t FreeUdpPort();

class FakeGateway {
 public:
  struct Behaviour {
    // The search answer; "" = none. "{HTTP_PORT}" becomes the gateway's TCP port.
    std::string search_answer =
        "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\n"
        "ST: urn:schemas-upnp-org:service:WANIPConnection:1\r\n"
        "USN: uuid:00000000-0000-0000-0000-000000000001::"
        "urn:schemas-upnp-org:service:WANIPConnection:1\r\n"
        "EXT:\r\nSERVER: fake UPnP/1.1\r\n"
        "LOCATION: http://127.0.0.1:{HTTP_PORT}/rootDesc.xml\r\n\r\n";
    // The description body served for every GET; "{HTTP_PORT}" as above.
    std::string description = DefaultDescription();
    // false: connections are accepted and never answered.
    bool answer_http = true;
    // false: everything but the description and AddPortMapping is never answered: a gateway
    // that makes the mapping and then stalls.
    bool answer_after_mapping = true;
    // Status line of the AddPortMapping answer.
    std::string add_status = "200 OK";
    // The value of NewExternalIPAddress.
    std::string external_address = "203.0.113.1";
  };

  // A gateway offering WANIPConnection:1 controlled at the bare path /ctl/IPConn.
  static std::string DefaultDescription();

  explicit FakeGateway(Behaviour behaviour);
  FakeGateway();
  ~FakeGateway();
  FakeGateway(const FakeGateway&) = delete;
  FakeGateway& operator=(const FakeGateway&) = delete;

  uint16_t http_port() const { return http_port_; }
  // A network that searches this gateway, waiting `wait_ms` per wait and `exchange_ms` per
  // exchange.
  UpnpNetwork Network(int wait_ms = 200, int exchange_ms = 2000) const;

  struct Search {
    std::string datagram;
    uint16_t sender_port;
  };
  std::vector<Search> searches();
  // Every complete HTTP request, in arrival order.
  std::vector<std::string> requests();

 private:
  void Run();
  void ServeSearch();
  // Reads what arrived; answers and closes once the request is complete.
  void ServeConnection(size_t index);
  std::string AnswerFor(const std::string& request) const;

  const Behaviour behaviour_;
  platform::SocketHandle udp_ = platform::kInvalidSocket;
  platform::SocketHandle listener_ = platform::kInvalidSocket;
  uint16_t search_port_ = 0;
  uint16_t http_port_ = 0;
  struct Connection {
    platform::SocketHandle socket;
    std::string received;
    bool done = false;
  };
  std::vector<Connection> connections_;  // gateway thread only
  platform::Mutex lock_;
  std::vector<Search> searches_ GUARDED_BY(lock_);
  std::vector<std::string> requests_ GUARDED_BY(lock_);
  std::atomic<bool> running_{true};
  std::thread thread_;
};
