// Slows password guessing: a client address that fails `limit` times within `window_ms` is
// refused for `lockout_ms`, whatever it sends. At most `max_clients` addresses are tracked;
// when more fail, the one whose last failure is oldest is forgotten.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

class FailureThrottle {
 public:
  FailureThrottle(int limit, int64_t window_ms, int64_t lockout_ms, size_t max_clients);

  // True while `client` is locked out.
  bool Refused(const std::string& client, int64_t now_ms) const;
  // Counts a failed attempt by `client`.
  void RecordFailure(const std::string& client, int64_t now_ms);

 private:
  struct Record {
    int failures = 0;
    int64_t window_start_ms = 0;
    int64_t last_failure_ms = 0;
    int64_t refused_until_ms = INT64_MIN;
  };
  void MakeRoom();

  const int limit_;
  const int64_t window_ms_;
  const int64_t lockout_ms_;
  const size_t max_clients_;
  std::unordered_map<std::string, Record> records_;
};
