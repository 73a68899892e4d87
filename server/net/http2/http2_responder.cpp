#include "server/net/http2/http2_responder.h"

void CHttp2Mailbox::Post(Posted posted) {
  // The wake runs under the lock, so that Close cannot return while one is under way and the
  // loop it wakes cannot be gone.
  platform::MutexLock hold(&lock_);
  if (closed_) return;
  // Answers posted before the loop takes them share one wake.
  bool first = posted_.empty();
  posted_.push_back(std::move(posted));
  if (first && !holding_) wake_();
}

void CHttp2Mailbox::HoldWakes(bool hold) {
  platform::MutexLock lock(&lock_);
  holding_ = hold;
}

void CHttp2Mailbox::Wake() {
  platform::MutexLock hold(&lock_);
  if (!closed_) wake_();
}

void CHttp2Mailbox::Take(std::vector<Posted>* taken) {
  platform::MutexLock hold(&lock_);
  taken->swap(posted_);
}

void CHttp2Mailbox::Close() {
  platform::MutexLock hold(&lock_);
  closed_ = true;
  posted_.clear();
}

void CHttp2Responder::Interim(Response response) {
  if (!Gone()) mailbox_->Post({stream_id_, false, std::move(response)});
}

void CHttp2Responder::Respond(Response response) {
  if (!Gone()) mailbox_->Post({stream_id_, true, std::move(response)});
}

void CHttp2Responder::ResumeBody() {
  if (!Gone()) mailbox_->Wake();
}
