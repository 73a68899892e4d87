#include "server/net/message_queue.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>

void CMessageQueue::push(int16_t final_flag, s_message message) {
  message.final_flag = final_flag;
  message.key = ++key_counter_;
  std::unique_lock guard(lock_);
  messages_.push_back(std::move(message));
}

bool CMessageQueue::find(platform::SocketHandle socket, int32_t connection_id,
                         s_message* out) const {
  std::shared_lock guard(lock_);
  for (const s_message& m : messages_) {
    if (m.socket == socket && m.connection_id == connection_id) {
      if (out != nullptr) *out = m;
      return true;
    }
  }
  return false;
}

bool CMessageQueue::take(platform::SocketHandle socket, int32_t connection_id, s_message* out) {
  std::unique_lock guard(lock_);
  for (size_t i = 0; i < messages_.size(); ++i) {
    if (messages_[i].socket == socket && messages_[i].connection_id == connection_id) {
      *out = std::move(messages_[i]);
      erase_at(i);
      return true;
    }
  }
  return false;
}

bool CMessageQueue::visit_first(platform::SocketHandle socket, int32_t connection_id,
                                const std::function<void(s_message&)>& visit) {
  std::unique_lock guard(lock_);
  for (s_message& m : messages_) {
    if (m.socket == socket && m.connection_id == connection_id) {
      visit(m);
      return true;
    }
  }
  return false;
}

void CMessageQueue::erase_at(size_t index) {
  messages_.erase(messages_.begin() + static_cast<std::ptrdiff_t>(index));
  if (messages_.empty()) messages_.shrink_to_fit();
}

void CMessageQueue::remove_by_key(int32_t key) {
  std::unique_lock guard(lock_);
  for (size_t i = 0; i < messages_.size(); ++i) {
    if (messages_[i].key == key) {
      erase_at(i);
      return;
    }
  }
}

void CMessageQueue::remove_by_connection(platform::SocketHandle socket, int32_t connection_id) {
  std::unique_lock guard(lock_);
  for (size_t i = 0; i < messages_.size(); ++i) {
    if (messages_[i].socket == socket && messages_[i].connection_id == connection_id) {
      erase_at(i);
      return;
    }
  }
}

int CMessageQueue::expire(int64_t now_ms) {
  return remove_if([now_ms](const s_message& m) {
    return static_cast<double>(now_ms - m.enqueue_time_ms) >= m.timeout_ms;
  });
}

int CMessageQueue::remove_if(const std::function<bool(const s_message&)>& orphaned) {
  std::unique_lock guard(lock_);
  auto end = std::remove_if(messages_.begin(), messages_.end(), orphaned);
  int removed = static_cast<int>(messages_.end() - end);
  messages_.erase(end, messages_.end());
  if (removed > 0 && messages_.empty()) messages_.shrink_to_fit();
  return removed;
}

size_t CMessageQueue::size() const {
  std::shared_lock guard(lock_);
  return messages_.size();
}
