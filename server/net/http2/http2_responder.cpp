#include "server/net/http2/http2_responder.h"

void CHttp2Mailbox::Post(Posted posted) {
  // The wake runs under the lock, so that Close cannot return while one is under way and the
  // loop it wakes cannot be gone.
  std::lock_guard<std::mutex> hold(lock_);
  if (closed_) return;
  posted_.push_back(std::move(posted));
  wake_();
}

void CHttp2Mailbox::Wake() {
  std::lock_guard<std::mutex> hold(lock_);
  if (!closed_) wake_();
}

std::vector<CHttp2Mailbox::Posted> CHttp2Mailbox::Take() {
  std::vector<Posted> taken;
  std::lock_guard<std::mutex> hold(lock_);
  taken.swap(posted_);
  return taken;
}

void CHttp2Mailbox::Close() {
  std::lock_guard<std::mutex> hold(lock_);
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
