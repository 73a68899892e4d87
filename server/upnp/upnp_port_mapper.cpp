#include "server/upnp/upnp_port_mapper.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/clock.h"
#include "platform/local_address.h"
#include "platform/udp_socket.h"
#include "server/upnp/device_description.h"
#include "server/upnp/gateway_exchange.h"
#include "server/upnp/soap_action.h"

namespace {

// How long a failed search send waits for the socket before it is tried again.
constexpr int kSendRetryPauseMs = 100;

void Print(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

// Waits at most `wait_ms`, and never past the deadline, for `socket` to be ready.
bool WaitFor(platform::SocketHandle socket, bool want_write, int wait_ms, int64_t deadline_ms) {
  int64_t left_ms = std::min<int64_t>(wait_ms, deadline_ms - platform::TickCountMs());
  if (left_ms <= 0) return false;
  std::vector<platform::ReadinessWatch> watch = {{socket, want_write}};
  return platform::WaitReady(&watch, static_cast<int>(left_ms * 1000)) > 0;
}

// Sends the search for one service type, trying again a bounded number of times.
bool SendSearch(platform::SocketHandle socket, const UpnpNetwork& network,
                std::string_view service_type, int64_t deadline_ms) {
  const std::string datagram = SearchDatagram(service_type);
  for (int attempt = 1;; ++attempt) {
    int error = 0;
    if (platform::SendDatagram(socket, network.search_address, network.search_port, datagram,
                               &error)) {
      return true;
    }
    if (attempt == UpnpPortMapper::kSearchSendTries || platform::TickCountMs() >= deadline_ms) {
      return false;
    }
    Print("SendTry\n");
    WaitFor(socket, true, kSendRetryPauseMs, deadline_ms);
  }
}

// Waits twice for an answer of at least one byte.
bool AwaitAnswer(platform::SocketHandle socket, const UpnpNetwork& network, int64_t deadline_ms,
                 std::string* answer) {
  for (int wait = 0; wait < 2; ++wait) {
    if (!WaitFor(socket, false, network.search_wait_ms, deadline_ms)) continue;
    std::string sender;
    uint16_t sender_port = 0;
    int error = 0;
    platform::IoStatus status = platform::ReceiveDatagram(socket, kMaxSearchAnswerBytes, answer,
                                                          &sender, &sender_port, &error);
    if (status == platform::IoStatus::kDone && !answer->empty()) return true;
    if (status == platform::IoStatus::kError) {
      std::printf("Retry:%d\n", error);
      std::fflush(stdout);
    }
  }
  answer->clear();
  return false;
}

}  // namespace

std::string ChooseLocalAddress(const std::string& host_name_address,
                               const std::string& routed_address) {
  if (routed_address.empty()) return host_name_address;
  if (host_name_address.empty() || platform::IsLoopbackIPv4(host_name_address)) {
    return routed_address;
  }
  return host_name_address;
}

UpnpPortMapper::UpnpPortMapper(const ServerSettings& settings, UpnpNetwork network)
    : settings_(settings), network_(std::move(network)) {}

uint16_t UpnpPortMapper::external_port() const {
  return settings_.upnp_port != 0 ? settings_.upnp_port : settings_.port;
}

void UpnpPortMapper::MapPort() {
  if (!enabled()) return;
  // Everything together may take as long as an unanswered search, and no longer.
  const int64_t deadline_ms =
      platform::TickCountMs() +
      2 * static_cast<int64_t>(network_.search_wait_ms) * kWanServiceTypes.size();
  Discover(deadline_ms);
  if (location_.empty() || !FindService(deadline_ms)) return;
  if (!IsSuccessAnswer(Soap(kAddPortMapping, deadline_ms))) {
    Print("ポート開放に失敗\r\n");
    return;
  }
  stage_ = 2;
  const std::string address = QueryExternalAddress(deadline_ms);
  {
    platform::MutexLock hold(&address_lock_);
    external_address_ = address;
  }
  Print("ポート開放に成功\r\n");
}

bool UpnpPortMapper::RenewMapping() {
  if (!enabled() || stage_ < 2) return false;
  return IsSuccessAnswer(
      Soap(kAddPortMapping, platform::TickCountMs() + network_.exchange_timeout_ms));
}

void UpnpPortMapper::UnmapPort() {
  if (!enabled() || stage_ < 2) return;
  Soap(kDeletePortMapping, platform::TickCountMs() + network_.exchange_timeout_ms);
}

std::string UpnpPortMapper::GetExternalAddress() {
  if (stage_ < 2) return "";
  const std::string known = KnownExternalAddress();
  if (!known.empty()) return known;
  const int64_t now = platform::TickCountMs();
  if (now < address_retry_tick_) return "";
  const std::string address = QueryExternalAddress(now + network_.exchange_timeout_ms);
  if (address.empty()) address_retry_tick_ = now + network_.address_retry_ms;
  platform::MutexLock hold(&address_lock_);
  external_address_ = address;
  return address;
}

std::string UpnpPortMapper::KnownExternalAddress() const {
  platform::MutexLock hold(&address_lock_);
  return external_address_;
}

std::string UpnpPortMapper::GetPublicBaseUrl() {
  std::string address = GetExternalAddress();
  uint16_t port = external_port();
  if (address.empty()) {
    RefreshLocalAddress(target_.host.empty() ? network_.search_address : target_.host);
    address = local_address_;
    port = settings_.port;
  }
  return "http://" + address + ":" + std::to_string(port);
}

void UpnpPortMapper::Discover(int64_t deadline_ms) {
  RefreshLocalAddress(network_.search_address);
  platform::SocketHandle socket = platform::OpenUdp();
  if (socket == platform::kInvalidSocket) {
    Print("ソケット作成失敗\n");
    return;
  }
  platform::SetMulticastSending(socket, local_address_, 1);
  if (!platform::BindUdp(socket, "", external_port())) Print("受信ポート番号の指定に失敗\n");

  std::string answer;
  for (std::string_view service_type : kWanServiceTypes) {
    if (SendSearch(socket, network_, service_type, deadline_ms) &&
        AwaitAnswer(socket, network_, deadline_ms, &answer)) {
      break;
    }
  }
  platform::CloseSocket(socket);
  if (!answer.empty() && FindLocation(answer, &location_)) stage_ = 1;
}

bool UpnpPortMapper::FindService(int64_t deadline_ms) {
  SplitUrl(location_, &target_);
  RefreshLocalAddress(target_.host);
  const std::string description =
      ExchangeWithGateway(target_, DescriptionRequest(target_), ExchangeDeadline(deadline_ms));
  if (!FindControlUrl(description, &service_type_, &control_url_)) return false;
  SplitUrl(control_url_, &target_);
  return true;
}

std::string UpnpPortMapper::Soap(std::string_view action, int64_t deadline_ms) {
  RefreshLocalAddress(target_.host);
  std::string body;
  if (action == kAddPortMapping) {
    body = AddPortMappingBody(service_type_, external_port(), settings_.port, local_address_,
                              kLeaseSeconds);
  } else if (action == kDeletePortMapping) {
    body = DeletePortMappingBody(service_type_, external_port());
  } else {
    body = GetExternalIPAddressBody(service_type_);
  }
  return ExchangeWithGateway(target_, SoapRequest(target_, service_type_, action, body),
                             ExchangeDeadline(deadline_ms));
}

std::string UpnpPortMapper::QueryExternalAddress(int64_t deadline_ms) {
  return ExternalAddressOf(Soap(kGetExternalIPAddress, deadline_ms));
}

void UpnpPortMapper::RefreshLocalAddress(const std::string& peer) {
  local_address_ =
      ChooseLocalAddress(platform::HostNameAddress(), platform::SourceAddressFor(peer));
}

int64_t UpnpPortMapper::ExchangeDeadline(int64_t limit_ms) const {
  return std::min(limit_ms, platform::TickCountMs() + network_.exchange_timeout_ms);
}
