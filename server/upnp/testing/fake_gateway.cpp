#include "server/upnp/testing/fake_gateway.h"

#include <regex>

#include "platform/udp_socket.h"

namespace {

std::string WithPort(std::string text, uint16_t port) {
  return std::regex_replace(text, std::regex("\\{HTTP_PORT\\}"), std::to_string(port));
}

// The length of a complete request in `bytes`, or 0 while it is incomplete.
size_t CompleteLength(const std::string& bytes) {
  size_t end = bytes.find("\r\n\r\n");
  if (end == std::string::npos) return 0;
  size_t length = end + 4;
  size_t field = bytes.find("Content-Length: ");
  if (field != std::string::npos && field < end) length += std::stoul(bytes.substr(field + 16));
  return bytes.size() >= length ? length : 0;
}

std::string HttpAnswer(const std::string& status, const std::string& body) {
  return "HTTP/1.1 " + status +
         "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nConnection: close\r\n"
         "Content-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

uint16_t FreeUdpPort() {
  platform::SocketHandle s = platform::OpenUdp();
  platform::BindUdp(s, "", 0);
  uint16_t port = static_cast<uint16_t>(platform::LocalPort(s));
  platform::CloseSocket(s);
  return port;
}

std::string FakeGateway::DefaultDescription() {
  return "<?xml version=\"1.0\"?>\r\n"
         "<root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device>"
         "<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>"
         "<deviceList><device>"
         "<deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>"
         "<serviceList><service>"
         "<serviceType>urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>"
         "<controlURL>/ctl/CmnIfCfg</controlURL></service></serviceList>"
         "<deviceList><device>"
         "<deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>"
         "<serviceList><service>"
         "<serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>"
         "<serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId>"
         "<controlURL>/ctl/IPConn</controlURL>"
         "<eventSubURL>/evt/IPConn</eventSubURL><SCPDURL>/WANIPCn.xml</SCPDURL>"
         "</service></serviceList></device></deviceList>"
         "</device></deviceList></device></root>";
}

FakeGateway::FakeGateway() : FakeGateway(Behaviour{}) {}

FakeGateway::FakeGateway(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
  udp_ = platform::OpenUdp();
  platform::BindUdp(udp_, "127.0.0.1", 0);
  search_port_ = static_cast<uint16_t>(platform::LocalPort(udp_));
  listener_ = platform::ListenTcp("0", 16);
  http_port_ = static_cast<uint16_t>(platform::LocalPort(listener_));
  thread_ = std::thread([this] { Run(); });
}

FakeGateway::~FakeGateway() {
  running_ = false;
  thread_.join();
  for (const Connection& c : connections_) platform::CloseSocket(c.socket);
  platform::CloseSocket(listener_);
  platform::CloseSocket(udp_);
}

UpnpNetwork FakeGateway::Network(int wait_ms, int exchange_ms) const {
  UpnpNetwork network;
  network.search_address = "127.0.0.1";
  network.search_port = search_port_;
  network.search_wait_ms = wait_ms;
  network.exchange_timeout_ms = exchange_ms;
  return network;
}

std::vector<FakeGateway::Search> FakeGateway::searches() {
  platform::MutexLock hold(&lock_);
  return searches_;
}

std::vector<std::string> FakeGateway::requests() {
  platform::MutexLock hold(&lock_);
  return requests_;
}

void FakeGateway::Run() {
  while (running_) {
    std::vector<platform::ReadinessWatch> watches = {{udp_}, {listener_}};
    for (const Connection& c : connections_) watches.push_back({c.socket});
    if (platform::WaitReady(&watches, 5000) == 0) continue;
    if (watches[0].ready) ServeSearch();
    if (watches[1].ready) {
      platform::SocketHandle accepted = platform::AcceptConnection(listener_);
      if (accepted != platform::kInvalidSocket) connections_.push_back({accepted, "", false});
    }
    for (size_t i = 2; i < watches.size(); ++i) {
      if (watches[i].ready) ServeConnection(i - 2);
    }
  }
}

void FakeGateway::ServeSearch() {
  std::string datagram, sender;
  uint16_t sender_port = 0;
  int error = 0;
  if (platform::ReceiveDatagram(udp_, 65536, &datagram, &sender, &sender_port, &error) !=
      platform::IoStatus::kDone) {
    return;
  }
  {
    platform::MutexLock hold(&lock_);
    searches_.push_back({datagram, sender_port});
  }
  if (!behaviour_.search_answer.empty()) {
    platform::SendDatagram(udp_, sender, sender_port,
                           WithPort(behaviour_.search_answer, http_port_), &error);
  }
}

void FakeGateway::ServeConnection(size_t index) {
  Connection& connection = connections_[index];
  char chunk[4096];
  size_t count = 0;
  int error = 0;
  platform::IoStatus status =
      platform::ReceiveSome(connection.socket, chunk, sizeof chunk, &count, &error);
  if (status == platform::IoStatus::kDone) connection.received.append(chunk, count);
  if (status == platform::IoStatus::kClosed || status == platform::IoStatus::kError) {
    platform::CloseSocket(connection.socket);
    connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(index));
    return;
  }
  size_t length = CompleteLength(connection.received);
  if (length == 0 || connection.done) return;
  connection.done = true;
  {
    platform::MutexLock hold(&lock_);
    requests_.push_back(connection.received.substr(0, length));
  }
  if (!behaviour_.answer_http) return;
  if (!behaviour_.answer_after_mapping && !connection.received.starts_with("GET ") &&
      connection.received.find("#AddPortMapping\"") == std::string::npos) {
    return;
  }
  // Answers are small: the socket takes them whole.
  std::string answer = AnswerFor(connection.received);
  platform::SendSome(connection.socket, answer.data(), answer.size(), &count, &error);
  platform::CloseSocket(connection.socket);
  connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::string FakeGateway::AnswerFor(const std::string& request) const {
  if (request.starts_with("GET ")) {
    return HttpAnswer("200 OK", WithPort(behaviour_.description, http_port_));
  }
  const std::string envelope_start =
      "<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/"
      "envelope/\" s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>";
  const std::string envelope_end = "</s:Body></s:Envelope>\r\n";
  if (request.find("#AddPortMapping\"") != std::string::npos) {
    return HttpAnswer(behaviour_.add_status,
                      envelope_start + "<u:AddPortMappingResponse/>" + envelope_end);
  }
  if (request.find("#GetExternalIPAddress\"") != std::string::npos) {
    return HttpAnswer(
        "200 OK", envelope_start + "<u:GetExternalIPAddressResponse><NewExternalIPAddress>" +
                      behaviour_.external_address +
                      "</NewExternalIPAddress></u:GetExternalIPAddressResponse>" + envelope_end);
  }
  return HttpAnswer("200 OK", envelope_start + "<u:DeletePortMappingResponse/>" + envelope_end);
}
