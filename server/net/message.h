// One queued message: a complete request or (a piece of) a response.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/open_file.h"
#include "platform/tcp_socket.h"

struct s_message {
  platform::SocketHandle socket = platform::kInvalidSocket;
  int32_t connection_id = 0;  // with `socket`, names the connection unambiguously
  std::string bytes;
  // Sent after `bytes`: an immutable buffer shared with its other holders (the file cache,
  // the thumbnail store), so a picture is never copied into a response.
  std::shared_ptr<const std::vector<uint8_t>> body;
  // Or sent after `bytes` from the page cache: a file of which `file->size()` bytes go out.
  // It holds no memory of the process, so it counts nothing towards the queued bytes.
  std::shared_ptr<const platform::OpenFile> file;
  int64_t enqueue_time_ms = 0;  // tick count when queued
  double timeout_ms = 0;
  int16_t final_flag = 0;  // 1: the connection closes once these bytes are sent
  int32_t key = 0;         // assigned by the queue
  size_t sent = 0;         // bytes of `bytes`, then of `body`, already sent (responses only)

  // The bytes this message puts on the wire.
  size_t size() const {
    return bytes.size() + (body ? body->size() : 0) + (file ? file->size() : 0);
  }
};
