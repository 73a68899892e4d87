#include "server/net/message_queue.h"

#include <algorithm>

void CMessageQueue::push(int16_t final_flag, s_message message) {
  push_within(static_cast<size_t>(-1), final_flag, message);
}

bool CMessageQueue::push_within(size_t limit, int16_t final_flag, s_message& message) {
  ConnectionKey connection{message.socket, message.connection_id};
  WriterLock guard(&lock_);
  size_t added = AddedBytes(message);
  if (added > limit || held_bytes_ > limit - added) return false;
  message.final_flag = final_flag;
  message.key = ++key_counter_;
  Hold(message);
  by_connection_[connection].push_back(std::move(message));
  ++size_;
  return true;
}

size_t CMessageQueue::AddedBytes(const s_message& message) const {
  size_t added = message.bytes.size();
  if (message.body && body_users_.count(message.body.get()) == 0) added += message.body->size();
  return added;
}

void CMessageQueue::Hold(const s_message& message) {
  held_bytes_ += AddedBytes(message);
  if (message.body) ++body_users_[message.body.get()];
}

void CMessageQueue::Release(const s_message& message) {
  held_bytes_ -= message.bytes.size();
  if (!message.body) return;
  auto users = body_users_.find(message.body.get());
  if (--users->second > 0) return;
  body_users_.erase(users);
  held_bytes_ -= message.body->size();
}

bool CMessageQueue::find(platform::SocketHandle socket, int32_t connection_id) const {
  ReaderLock guard(&lock_);
  return by_connection_.count(ConnectionKey{socket, connection_id}) != 0;
}

bool CMessageQueue::visit_first(platform::SocketHandle socket, int32_t connection_id,
                                const std::function<void(s_message&)>& visit) {
  WriterLock guard(&lock_);
  auto found = by_connection_.find(ConnectionKey{socket, connection_id});
  if (found == by_connection_.end()) return false;
  visit(found->second.front());
  return true;
}

void CMessageQueue::remove_by_connection(platform::SocketHandle socket, int32_t connection_id) {
  WriterLock guard(&lock_);
  auto found = by_connection_.find(ConnectionKey{socket, connection_id});
  if (found == by_connection_.end()) return;
  std::vector<s_message>& messages = found->second;
  Release(messages.front());
  messages.erase(messages.begin());
  --size_;
  if (messages.empty()) by_connection_.erase(found);
}

int CMessageQueue::expire(int64_t now_ms) {
  WriterLock guard(&lock_);
  int removed = 0;
  for (auto it = by_connection_.begin(); it != by_connection_.end();) {
    std::vector<s_message>& messages = it->second;
    auto end =
        std::remove_if(messages.begin(), messages.end(), [&](const s_message& m) REQUIRES(lock_) {
          bool expired = static_cast<double>(now_ms - m.enqueue_time_ms) >= m.timeout_ms;
          if (expired) Release(m);
          return expired;
        });
    removed += static_cast<int>(messages.end() - end);
    messages.erase(end, messages.end());
    it = messages.empty() ? by_connection_.erase(it) : std::next(it);
  }
  size_ -= static_cast<size_t>(removed);
  return removed;
}

int CMessageQueue::remove_connections_if(
    const std::function<bool(platform::SocketHandle, int32_t)>& gone) {
  WriterLock guard(&lock_);
  int removed = 0;
  for (auto it = by_connection_.begin(); it != by_connection_.end();) {
    if (gone(it->first.socket, it->first.connection_id)) {
      for (const s_message& m : it->second) Release(m);
      removed += static_cast<int>(it->second.size());
      it = by_connection_.erase(it);
    } else {
      ++it;
    }
  }
  size_ -= static_cast<size_t>(removed);
  return removed;
}

size_t CMessageQueue::size() const {
  ReaderLock guard(&lock_);
  return size_;
}

size_t CMessageQueue::held_bytes() const {
  ReaderLock guard(&lock_);
  return held_bytes_;
}
