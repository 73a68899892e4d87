#include "server/net/message_queue.h"

#include <gtest/gtest.h>

namespace {

s_message Message(platform::SocketHandle socket, int32_t id, std::string bytes,
                  int64_t enqueued = 0, double timeout = 1000) {
  s_message m;
  m.socket = socket;
  m.connection_id = id;
  m.bytes = std::move(bytes);
  m.enqueue_time_ms = enqueued;
  m.timeout_ms = timeout;
  return m;
}

std::string First(CMessageQueue& queue, platform::SocketHandle socket, int32_t id) {
  std::string bytes = "(none)";
  queue.visit_first(socket, id, [&](s_message& m) { bytes = m.bytes; });
  return bytes;
}

TEST(MessageQueueTest, EachConnectionKeepsItsOwnOrder) {
  CMessageQueue queue;
  queue.push(0, Message(5, 1, "a1"));
  queue.push(0, Message(5, 2, "other connection on a reused handle"));
  queue.push(1, Message(5, 1, "a2"));
  EXPECT_EQ(queue.size(), 3u);
  EXPECT_TRUE(queue.find(5, 2));
  EXPECT_FALSE(queue.find(6, 1));
  EXPECT_EQ(First(queue, 5, 1), "a1");
  queue.remove_by_connection(5, 1);
  EXPECT_EQ(First(queue, 5, 1), "a2");
  queue.visit_first(5, 1, [](s_message& m) { EXPECT_EQ(m.final_flag, 1); });
  queue.remove_by_connection(5, 1);
  EXPECT_FALSE(queue.find(5, 1));
  EXPECT_EQ(First(queue, 5, 2), "other connection on a reused handle");
  EXPECT_EQ(queue.size(), 1u);
}

TEST(MessageQueueTest, ExpiryAndDroppedConnections) {
  CMessageQueue queue;
  queue.push(0, Message(1, 1, "old", 0, 100));
  queue.push(0, Message(1, 1, "young", 50, 100));
  queue.push(0, Message(2, 2, "other", 0, 1000));
  EXPECT_EQ(queue.expire(100), 1);
  EXPECT_EQ(First(queue, 1, 1), "young");
  EXPECT_EQ(queue.remove_connections_if([](platform::SocketHandle s, int32_t) { return s == 2; }),
            1);
  EXPECT_FALSE(queue.find(2, 2));
  EXPECT_EQ(queue.expire(150), 1);
  EXPECT_EQ(queue.size(), 0u);
}

}  // namespace
