// A thread-safe queue of messages, kept per connection. Worker threads push responses while
// the socket server's thread reads and removes them; every look-up by connection is a hash
// probe, so the send path costs the same however many connections are open.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "server/net/message.h"
#include "server/threads/shared_lock.h"

class CMessageQueue {
 public:
  // Stores the flag, assigns the next key and appends the message behind the others of its
  // connection.
  void push(int16_t final_flag, s_message message);
  // As push, unless the bytes held would then pass `limit`: then false, and `message` is
  // left as it was.
  bool push_within(size_t limit, int16_t final_flag, s_message& message);

  // Whether the connection has a message queued.
  bool find(platform::SocketHandle socket, int32_t connection_id) const;

  // Runs `visit` on the first message of the connection (in push order) under the exclusive
  // lock, so the caller may read it or advance its `sent` count without copying the bytes.
  // REQUIRES: `visit` does not call back into this queue.
  bool visit_first(platform::SocketHandle socket, int32_t connection_id,
                   const std::function<void(s_message&)>& visit);

  // Removes the first message of the connection only.
  void remove_by_connection(platform::SocketHandle socket, int32_t connection_id);

  // Removes every message whose age reached its time-out; returns how many.
  int expire(int64_t now_ms);

  // Removes every message of each connection for which `gone` is true; returns how many.
  int remove_connections_if(
      const std::function<bool(platform::SocketHandle socket, int32_t connection_id)>& gone);

  size_t size() const;
  // The bytes the queued messages hold: each message's own bytes, and each shared body
  // once, however many messages point at it.
  size_t held_bytes() const;

 private:
  struct ConnectionKey {
    platform::SocketHandle socket;
    int32_t connection_id;
    bool operator==(const ConnectionKey&) const = default;
  };
  struct ConnectionKeyHash {
    size_t operator()(const ConnectionKey& k) const {
      return std::hash<uint64_t>()(static_cast<uint64_t>(static_cast<uint32_t>(k.socket)) << 32 |
                                   static_cast<uint32_t>(k.connection_id));
    }
  };

  std::atomic<int32_t> key_counter_{0};
  mutable CSharedLock lock_;
  // Each connection's messages in push order; a connection without messages has no entry.
  std::unordered_map<ConnectionKey, std::vector<s_message>, ConnectionKeyHash> by_connection_
      GUARDED_BY(lock_);
  size_t size_ GUARDED_BY(lock_) = 0;
  // How many queued messages point at each shared body.
  std::unordered_map<const void*, size_t> body_users_ GUARDED_BY(lock_);
  size_t held_bytes_ GUARDED_BY(lock_) = 0;

  // The bytes `message` would add to held_bytes_.
  size_t AddedBytes(const s_message& message) const REQUIRES_SHARED(lock_);
  // Count a message in or out of held_bytes_.
  void Hold(const s_message& message) REQUIRES(lock_);
  void Release(const s_message& message) REQUIRES(lock_);
};
