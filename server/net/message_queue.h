// A thread-safe queue of messages, searched by connection. Worker threads push responses
// while the socket server's thread reads and removes them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "server/net/message.h"
#include "server/net/shared_lock.h"

class CMessageQueue {
 public:
  // Stores the flag, assigns the next key and appends the message.
  void push(int16_t final_flag, s_message message);

  // Copies the first message of the connection (in insertion order) into *out, if any.
  bool find(platform::SocketHandle socket, int32_t connection_id, s_message* out = nullptr) const;

  // Moves the first message of the connection (in insertion order) out of the queue into *out.
  bool take(platform::SocketHandle socket, int32_t connection_id, s_message* out);

  // Runs `visit` on the first message of the connection under the exclusive lock, so the
  // caller may advance its `sent` count without copying the bytes.
  bool visit_first(platform::SocketHandle socket, int32_t connection_id,
                   const std::function<void(s_message&)>& visit);

  void remove_by_key(int32_t key);

  // Removes the first message of the connection only.
  void remove_by_connection(platform::SocketHandle socket, int32_t connection_id);

  // Removes every message whose age reached its time-out; returns how many.
  int expire(int64_t now_ms);

  // Removes every message for which `orphaned` is true; returns how many.
  int remove_if(const std::function<bool(const s_message&)>& orphaned);

  size_t size() const;

 private:
  void erase_at(size_t index);  // REQUIRES: lock_ held exclusively

  std::atomic<int32_t> key_counter_{0};
  mutable CSharedLock lock_;
  std::vector<s_message> messages_;  // guarded by lock_
};
