#include "server/upnp/port_mapping_keeper.h"

#include <algorithm>
#include <chrono>

#include "platform/clock.h"

PortMappingKeeper::PortMappingKeeper(const ServerSettings& settings, UpnpNetwork network,
                                     int64_t renew_interval_ms)
    : mapper_(settings, network),
      renew_interval_ms_(renew_interval_ms),
      address_retry_ms_(network.address_retry_ms) {}

PortMappingKeeper::~PortMappingKeeper() {
  Stop();
}

void PortMappingKeeper::Start(std::function<void()> mapped) {
  if (!mapper_.enabled() || thread_.joinable()) return;
  thread_ = std::thread([this, mapped = std::move(mapped)] { Run(mapped); });
}

void PortMappingKeeper::Stop() {
  {
    platform::MutexLock hold(&lock_);
    stopping_ = true;
    wake_.NotifyAll();
  }
  if (thread_.joinable()) thread_.join();
}

int PortMappingKeeper::renewals() const {
  platform::MutexLock hold(&lock_);
  return renewals_;
}

bool PortMappingKeeper::Sleep(int64_t ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  platform::MutexLock hold(&lock_);
  while (!stopping_) {
    if (!wake_.WaitUntil(&lock_, until) && !stopping_) return true;
  }
  return false;
}

void PortMappingKeeper::Run(const std::function<void()>& mapped) {
  mapper_.MapPort();
  if (mapper_.stage() < 2) return;
  if (mapped) mapped();
  // Until the stop: the address when it is not known yet (GetExternalAddress asks at most
  // once per retry pause), and the mapping at every renewal time.
  int64_t next_renewal = platform::TickCountMs() + renew_interval_ms_;
  for (;;) {
    const int64_t now = platform::TickCountMs();
    int64_t wait = next_renewal - now;
    if (mapper_.KnownExternalAddress().empty()) wait = std::min<int64_t>(wait, address_retry_ms_);
    if (!Sleep(std::max<int64_t>(wait, 0))) break;
    if (platform::TickCountMs() >= next_renewal) {
      if (mapper_.RenewMapping()) {
        platform::MutexLock hold(&lock_);
        ++renewals_;
      }
      next_renewal = platform::TickCountMs() + renew_interval_ms_;
    }
    if (mapper_.KnownExternalAddress().empty()) mapper_.GetExternalAddress();
  }
  mapper_.UnmapPort();
}
