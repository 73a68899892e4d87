#include "server/net/message_queue.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

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

// Held bytes through every way out of the queue: a shared body counts while any message
// points at it, a refused push changes nothing.
TEST(MessageQueueTest, HeldBytesCountASharedBodyOnce) {
  auto body = std::make_shared<const std::vector<uint8_t>>(1000, 'b');
  auto with_body = [&](platform::SocketHandle socket, int64_t enqueued) {
    s_message m = Message(socket, 1, "head", enqueued, 100);
    m.body = body;
    return m;
  };
  CMessageQueue queue;
  queue.push(1, with_body(1, 0));
  queue.push(1, with_body(2, 50));
  queue.push(1, with_body(3, 50));
  EXPECT_EQ(queue.held_bytes(), 3 * 4 + 1000u);
  s_message refused = Message(4, 1, std::string(100, 'x'));
  EXPECT_FALSE(queue.push_within(1100, 1, refused));
  EXPECT_EQ(refused.bytes.size(), 100u);
  EXPECT_EQ(queue.held_bytes(), 3 * 4 + 1000u);
  s_message fits = Message(4, 1, std::string(88, 'x'));
  EXPECT_TRUE(queue.push_within(1100, 1, fits));
  EXPECT_EQ(queue.held_bytes(), 1100u);

  queue.remove_by_connection(1, 1);
  EXPECT_EQ(queue.held_bytes(), 2 * 4 + 1000u + 88);
  EXPECT_EQ(queue.expire(150), 2);
  EXPECT_EQ(queue.held_bytes(), 88u);
  EXPECT_EQ(queue.remove_connections_if([](platform::SocketHandle, int32_t) { return true; }), 1);
  EXPECT_EQ(queue.held_bytes(), 0u);
}

}  // namespace
