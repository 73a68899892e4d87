// The UPnP client: asks the local Internet gateway to forward the gallery's port to this
// computer at the server start and to stop forwarding it at the stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "common/config/server_settings.h"
#include "platform/mutex.h"
#include "server/upnp/gateway_url.h"
#include "server/upnp/ssdp_search.h"

// Where the search goes and how long the client waits. The defaults are the real ones; tests
// point the search at a gateway of their own on 127.0.0.1 and shorten the waits.
struct UpnpNetwork {
  std::string search_address{kSsdpAddress};
  uint16_t search_port = kSsdpPort;
  // Each of the two waits for an answer per service type.
  int search_wait_ms = 3000;
  // One HTTP exchange with the gateway, from the connect to the end of the answer.
  int exchange_timeout_ms = 5000;
  // After a query for the external address failed, how long GetExternalAddress answers ""
  // before it asks again, so a gateway that stopped answering cannot hold the server loop on
  // every status page.
  int address_retry_ms = 60000;
};

// The exchanges themselves, each bounded in time. One thread makes them (PortMappingKeeper's,
// in the server); stage(), KnownExternalAddress() and the fixed fields may be read by any.
class UpnpPortMapper {
 public:
  // Search sends that fail in a row before a service type counts as unanswered.
  static constexpr int kSearchSendTries = 3;
  // The mapping lasts this long unless renewed, so that a server killed or a machine cut off
  // leaves no forwarding for good.
  static constexpr uint32_t kLeaseSeconds = 3600;

  // `settings` must outlive the mapper.
  explicit UpnpPortMapper(const ServerSettings& settings, UpnpNetwork network = {});

  // When UPnP is on: finds the gateway, asks it to forward the external port to the internal
  // port of this computer and asks for the external address. Returns within the search's own
  // waits (2 x search_wait_ms per service type) whatever the gateway does; every failure only
  // leaves the stage lower.
  void MapPort();
  // Asks for the mapping again, which restarts its lease; false when the gateway refused or
  // did not answer. REQUIRES: MapPort made the mapping.
  bool RenewMapping();
  // Asks the gateway to stop forwarding, when MapPort made a mapping.
  void UnmapPort();

  // The gateway's external address, "" when none is known. Asks the gateway once it has made
  // the mapping; a found address is kept and never asked for again.
  std::string GetExternalAddress();
  // The external address found so far, without asking; "" when none is known.
  std::string KnownExternalAddress() const;
  // "http://" + address + ":" + port under which the gallery is reached: the external address
  // and port once known, else this computer's address and the internal port.
  // Tests only.
  std::string GetPublicBaseUrl();

  // 0: no gateway answered; 1: a gateway answered with its location; 2: the gateway made the
  // mapping. Never goes back.
  int32_t stage() const { return stage_.load(); }
  // UPnP_PORT when set, else PORT.
  uint16_t external_port() const;
  // The address this computer is reached at from the gateway, as last refreshed.
  const std::string& local_address() const { return local_address_; }
  bool enabled() const { return settings_.upnp != 0; }

 private:
  // Searches for a gateway; sets location_ and stage 1 when one answered with a location.
  void Discover(int64_t deadline_ms);
  // Fetches the description at location_; sets service_type_ and control_url_ and points
  // target_ at the control URL. False when no usable control URL was found.
  bool FindService(int64_t deadline_ms);
  // Sends `action` of the WAN service with the arguments it takes; returns the answer.
  std::string Soap(std::string_view action, int64_t deadline_ms);
  std::string QueryExternalAddress(int64_t deadline_ms);
  // Refreshes local_address_ toward dotted `peer`: the host name's first IPv4 address, or the
  // address of the interface that reaches `peer` when the host name gives none or a loopback
  // one (a gateway cannot forward to 127.0.1.1).
  void RefreshLocalAddress(const std::string& peer);
  // The end of one exchange that starts now, within `limit_ms`.
  int64_t ExchangeDeadline(int64_t limit_ms) const;

  const ServerSettings& settings_;
  const UpnpNetwork network_;

  std::string location_;
  std::string control_url_;
  std::string service_type_;
  GatewayTarget target_;
  std::string local_address_;
  std::atomic<int32_t> stage_{0};
  mutable platform::Mutex address_lock_;
  std::string external_address_ GUARDED_BY(address_lock_);  // kept once found
  int64_t address_retry_tick_ = 0;  // no query before this tick after a failed one
};

// The local address rule: `host_name_address` unless it is empty or a loopback address and
// `routed_address` (the source address toward the gateway) is known.
std::string ChooseLocalAddress(const std::string& host_name_address,
                               const std::string& routed_address);
