// Keeps the gallery's port forwarded while the server runs: every exchange with the gateway
// (the search, the mapping, its renewals, the address query, the removal) runs on a thread
// of its own, so that a gateway that stalls never holds the server loop or a page.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

#include "platform/mutex.h"
#include "server/upnp/upnp_port_mapper.h"

class PortMappingKeeper {
 public:
  // The mapping's lease is renewed at half its length: a renewal that fails has another
  // chance before the lease runs out.
  static constexpr int64_t kRenewIntervalMs = int64_t{UpnpPortMapper::kLeaseSeconds} * 1000 / 2;

  // `settings` must outlive the keeper.
  explicit PortMappingKeeper(const ServerSettings& settings, UpnpNetwork network = {},
                             int64_t renew_interval_ms = kRenewIntervalMs);
  // Stop.
  ~PortMappingKeeper();
  PortMappingKeeper(const PortMappingKeeper&) = delete;
  PortMappingKeeper& operator=(const PortMappingKeeper&) = delete;

  // When UPnP is on, starts the thread: it maps the port (and runs `mapped`, when given, once
  // the mapping is made), then renews the mapping and asks for an external address not yet
  // known, until Stop. Returns at once.
  void Start(std::function<void()> mapped = {});
  // Ends the thread: the mapping it made is removed first (one exchange, bounded by the
  // network's exchange time-out), a search or exchange under way ends within its own bound.
  void Stop();

  // Its stage and known address may be read by any thread meanwhile.
  const UpnpPortMapper& mapper() const { return mapper_; }
  // Renewals the gateway accepted so far.
  // Tests only.
  int renewals() const;

 private:
  void Run(const std::function<void()>& mapped);
  // Waits until `ms` have passed or Stop was called; false after Stop.
  bool Sleep(int64_t ms);

  UpnpPortMapper mapper_;  // the keeper's thread only, but for its thread-safe reads
  const int64_t renew_interval_ms_;
  const int64_t address_retry_ms_;
  mutable platform::Mutex lock_;
  platform::CondVar wake_;
  bool stopping_ GUARDED_BY(lock_) = false;
  int renewals_ GUARDED_BY(lock_) = 0;
  std::thread thread_;
};
