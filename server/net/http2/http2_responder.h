// The responder of a request that arrived on an HTTP/2 stream: its answers are posted to the
// connection's mailbox, which the session empties on the loop thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/mutex.h"
#include "server/net/responder.h"

// Answers posted for the streams of one connection, from any thread.
class CHttp2Mailbox {
 public:
  struct Posted {
    int32_t stream_id;
    bool final;
    Response response;
  };

  explicit CHttp2Mailbox(std::function<void()> wake) : wake_(std::move(wake)) {}

  // Queues `posted` and wakes the loop; dropped once the mailbox is closed.
  void Post(Posted posted) EXCLUDES(lock_);
  // Wakes the loop, unless the mailbox is closed.
  void Wake() EXCLUDES(lock_);
  // While held, posts do not wake the loop: the loop's own thread is answering, and takes
  // what was posted (its own answers and any other thread's) once it lets go. Loop thread.
  void HoldWakes(bool hold) EXCLUDES(lock_);
  // Moves what was posted into `*taken`, which must be empty (its room is kept for later
  // posts).
  void Take(std::vector<Posted>* taken) EXCLUDES(lock_);
  // The connection is gone: later posts are dropped. Once it returns, no wake runs any more.
  void Close() EXCLUDES(lock_);

 private:
  platform::Mutex lock_;
  std::vector<Posted> posted_ GUARDED_BY(lock_);
  bool closed_ GUARDED_BY(lock_) = false;
  bool holding_ GUARDED_BY(lock_) = false;
  const std::function<void()> wake_;
};

class CHttp2Responder final : public CResponder {
 public:
  CHttp2Responder(std::shared_ptr<CHttp2Mailbox> mailbox, int32_t stream_id,
                  std::string peer_address)
      : mailbox_(std::move(mailbox)), stream_id_(stream_id), peer_(std::move(peer_address)) {}

  void Interim(Response response) override;
  void Respond(Response response) override;
  bool Gone() const override { return gone_.load(std::memory_order_acquire); }
  std::string PeerAddress() const override { return peer_; }
  void ResumeBody() override;

  // The stream has closed: later answers go nowhere. Loop thread.
  void Detach() { gone_.store(true, std::memory_order_release); }

 private:
  const std::shared_ptr<CHttp2Mailbox> mailbox_;
  const int32_t stream_id_;
  const std::string peer_;
  std::atomic<bool> gone_{false};
};
