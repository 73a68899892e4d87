// Test helper: a CImageServer driven without sockets. Each request goes to the handler list
// with a responder that keeps the answers in memory, as the HTTP/1.1 transport would have
// written them.
#pragma once

#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/net/http1_writer.h"
#include "server/net/http_response.h"
#include "server/net/image_server.h"
#include "server/net/responder.h"

// `response` as HTTP/1.1 writes it: the header block and the body, whatever its form.
inline std::string Http1Text(const Response& response) {
  s_message m = Http1Message(response);
  std::string all = m.bytes;
  if (m.body) all.append(m.body->begin(), m.body->end());
  if (m.file) {
    std::string bytes(m.file->size(), '\0');
    ssize_t n = pread(m.file->handle(), bytes.data(), bytes.size(), 0);
    all += bytes.substr(0, n > 0 ? static_cast<size_t>(n) : 0);
  }
  return all;
}

// Keeps every answer given to it, interim ones included, in the order given.
class CapturingResponder : public CResponder {
 public:
  void Interim(Response response) override { Keep(0, std::move(response)); }
  void Respond(Response response) override { Keep(1, std::move(response)); }
  bool Gone() const override { return gone_; }
  std::string PeerAddress() const override { return {}; }
  void ResumeBody() override {}

  // The client leaves: later answers are dropped.
  void Leave() { gone_ = true; }

  // The answers in HTTP/1.1 form, final_flag set as the transport queues them, for the
  // connection (3, 1) the capture stands for.
  std::vector<s_message> Messages() {
    std::lock_guard guard(mutex_);
    std::vector<s_message> messages;
    for (const auto& [final_flag, response] : kept_) {
      s_message message = Http1Message(response);
      message.final_flag = final_flag;
      message.socket = 3;
      message.connection_id = 1;
      messages.push_back(std::move(message));
    }
    return messages;
  }

  // Every byte given, pieces joined (a file's bytes read in).
  std::string Bytes() {
    std::lock_guard guard(mutex_);
    std::string all;
    for (const auto& kept : kept_) all += Http1Text(kept.second);
    return all;
  }

 private:
  void Keep(int16_t final_flag, Response response) {
    if (gone_) return;
    std::lock_guard guard(mutex_);
    kept_.emplace_back(final_flag, std::move(response));
  }

  std::mutex mutex_;
  std::vector<std::pair<int16_t, Response>> kept_;
  std::atomic<bool> gone_{false};
};

// A test handler's answer that carries only `text`; Unwrapped gives the text back, so a
// test compares what its handler saw, not how HTTP frames it.
inline Response TextAnswer(std::string text) {
  return Response(HttpResponse("200 OK").Finish(std::move(text)));
}
inline std::string Unwrapped(const std::string& bytes) {
  static const std::string kPrefix = Http1Text(TextAnswer(""));
  return bytes.rfind(kPrefix, 0) == 0 ? bytes.substr(kPrefix.size()) : bytes;
}

class ResponseCapture : public CImageServer {
 public:
  // Offers `request` to the handler list and returns every byte the handlers answered so far,
  // pieces joined; Posted() has what their jobs answer later.
  std::string Dispatch(const std::string& request) {
    responder_ = std::make_shared<CapturingResponder>();
    std::string bytes = request;
    HandleRequest(bytes, responder_);
    return Posted();
  }

  // The responder of the last request dispatched.
  const std::shared_ptr<CapturingResponder>& responder() { return responder_; }
  std::string Posted() { return responder_->Bytes(); }
  std::vector<s_message> PostedMessages() { return responder_->Messages(); }

 private:
  std::shared_ptr<CapturingResponder> responder_ = std::make_shared<CapturingResponder>();
};
