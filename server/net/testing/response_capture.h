// Test helper: a CImageServer whose responses are collected in memory instead of being sent,
// so handlers can be driven without sockets.
#pragma once

#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include "server/net/image_server.h"

class ResponseCapture : public CImageServer {
 public:
  // Offers `request` to the handler list as connection (3, 1) and returns every byte the
  // handlers posted for it, pieces joined.
  std::string Dispatch(const std::string& request) {
    {
      std::lock_guard guard(mutex_);
      posted_.clear();
    }
    s_message message;
    message.socket = 3;
    message.connection_id = 1;
    message.bytes = request;
    OnRequest(message);
    return Posted();
  }

  std::string Posted() {
    std::lock_guard guard(mutex_);
    std::string all;
    for (const s_message& m : posted_) {
      all += m.bytes;
      if (m.body) all.append(m.body->begin(), m.body->end());
      if (m.file) {
        std::string bytes(m.file->size(), '\0');
        ssize_t n = pread(m.file->handle(), bytes.data(), bytes.size(), 0);
        all += bytes.substr(0, n > 0 ? static_cast<size_t>(n) : 0);
      }
    }
    return all;
  }

  std::vector<s_message> PostedMessages() {
    std::lock_guard guard(mutex_);
    return posted_;
  }

  void PostResponse(int16_t final_flag, s_message message) override {
    std::lock_guard guard(mutex_);
    message.final_flag = final_flag;
    posted_.push_back(std::move(message));
  }

 private:
  std::mutex mutex_;
  std::vector<s_message> posted_;
};
