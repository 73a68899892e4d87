// The nonces of Digest challenges. A nonce carries the time it was issued, a serial number and
// a MAC of both under a secret drawn at start, packed into the 16 bytes of the usual nonce form, so
// the server can tell its own nonces from made-up ones without keeping a list of those it
// handed out. The nonces that have been used are recorded with the request counts (nc) seen
// under them, so a captured request cannot be sent again.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

class DigestNonces {
 public:
  // Nonces older than `lifetime_ms` are stale; at most `max_recorded` used nonces are kept
  // (the oldest go first, and a nonce no younger than one dropped counts as stale).
  DigestNonces(int64_t lifetime_ms, size_t max_recorded);

  // A new nonce for a challenge issued at `now_ms` (a monotonic tick count).
  std::string Issue(int64_t now_ms);

  enum class Use {
    kAccepted,  // issued here, not expired, `nc` not seen before under it
    kStale,     // expired, forgotten, not issued by this process, or `nc` already used
  };
  // Records the use of `nonce` with request count `nc`. Counts may arrive out of order (a
  // browser sends parallel requests on one nonce); each is accepted once.
  Use Record(const std::string& nonce, uint32_t nc, int64_t now_ms);

 private:
  // The counts seen under one nonce: the highest, and a bit for each of the 64 below it.
  struct Counts {
    uint32_t highest = 0;
    uint64_t below = 0;  // bit i: highest - 1 - i was seen
  };
  using Key = std::pair<int64_t, std::string>;  // issue time, nonce text

  bool Verify(const std::string& nonce, int64_t* issued_ms) const;
  void Forget(int64_t now_ms);

  const int64_t lifetime_ms_;
  const size_t max_recorded_;
  unsigned char secret_[32];
  uint16_t serial_ = 0;
  std::map<Key, Counts> used_;  // ordered by issue time, so the oldest are dropped first
  int64_t forgotten_until_ms_ = INT64_MIN;  // nonces issued up to here are no longer recorded
};
