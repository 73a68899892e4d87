// The bytes that file reads may hold while they are under way (whole files being read, ZIP
// members being read and inflated), counted together across all threads. A read reserves its
// bytes before it allocates them and gives them back when it ends, so that many large reads
// at once wait their turn instead of growing the process without bound.
#pragma once

#include <chrono>
#include <cstdint>
#include <list>

#include "platform/mutex.h"

class ReadBudget {
 public:
  // Room for the largest ZIP member (kMaxMemberBytes, 256 MiB) being inflated beside a few
  // ordinary pictures being read, while the process as a whole stays near half a gigabyte.
  static constexpr uint64_t kReadBytesInFlight = uint64_t{320} << 20;
  // How long a read waits for room before it fails as an unreadable file: far longer than
  // reading or inflating the largest member takes, far shorter than a client waits for an
  // answer before it gives up.
  static constexpr std::chrono::milliseconds kReadWait{10000};

  explicit ReadBudget(uint64_t limit) : limit_(limit) {}

  // Reserves `bytes`, waiting at most `wait` for room. Reservations are granted in the order
  // they were asked for, so a large read is not starved by a stream of small ones. A read
  // larger than the whole limit is granted when nothing else is reserved, so it runs alone.
  // False when no room came in time.
  bool Acquire(uint64_t bytes, std::chrono::milliseconds wait = kReadWait);
  void Release(uint64_t bytes);

  // Tests only.
  uint64_t InUse();
  // Reads waiting for room now.
  int Waiting();

 private:
  const uint64_t limit_;
  platform::Mutex lock_;
  platform::CondVar released_;
  uint64_t in_use_ GUARDED_BY(lock_) = 0;
  uint64_t next_ticket_ GUARDED_BY(lock_) = 0;  // the ticket the next Acquire draws
  // The tickets of the reads waiting, in the order they came; the first one's turn is next.
  std::list<uint64_t> line_ GUARDED_BY(lock_);
};

// A reservation held for the lifetime of a read: released when it goes out of scope.
class ReadReservation {
 public:
  // Reserves `bytes` of `budget`; ok() tells whether it was granted.
  ReadReservation(uint64_t bytes, ReadBudget& budget)
      : budget_(budget), ok_(budget.Acquire(bytes)), bytes_(ok_ ? bytes : 0) {}
  ~ReadReservation() { budget_.Release(bytes_); }
  ReadReservation(const ReadReservation&) = delete;
  ReadReservation& operator=(const ReadReservation&) = delete;

  bool ok() const { return ok_; }

 private:
  ReadBudget& budget_;
  const bool ok_;
  const uint64_t bytes_;
};
