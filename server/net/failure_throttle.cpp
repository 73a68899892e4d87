#include "server/net/failure_throttle.h"

FailureThrottle::FailureThrottle(int limit, int64_t window_ms, int64_t lockout_ms,
                                 size_t max_clients)
    : limit_(limit), window_ms_(window_ms), lockout_ms_(lockout_ms), max_clients_(max_clients) {}

bool FailureThrottle::Refused(const std::string& client, int64_t now_ms) const {
  auto found = records_.find(client);
  return found != records_.end() && now_ms < found->second.refused_until_ms;
}

void FailureThrottle::RecordFailure(const std::string& client, int64_t now_ms) {
  if (records_.find(client) == records_.end() && records_.size() >= max_clients_) MakeRoom();
  Record& record = records_[client];
  if (record.failures == 0 || now_ms - record.window_start_ms >= window_ms_) {
    record.failures = 0;
    record.window_start_ms = now_ms;
  }
  record.last_failure_ms = now_ms;
  if (++record.failures >= limit_) {
    record.refused_until_ms = now_ms + lockout_ms_;
    record.failures = 0;
  }
}

void FailureThrottle::MakeRoom() {
  auto oldest = records_.begin();
  for (auto it = records_.begin(); it != records_.end(); ++it) {
    if (it->second.last_failure_ms < oldest->second.last_failure_ms) oldest = it;
  }
  if (oldest != records_.end()) records_.erase(oldest);
}
