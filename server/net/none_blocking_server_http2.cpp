// The connections of the socket server that speak HTTP/2: each one's bytes go through an
// Http2Session, whose streams the server's router answers.
#include "server/net/none_blocking_server.h"

#include <algorithm>

#include "server/net/request_framing.h"

namespace {

// Bytes read from the socket in one pass: an upload's pieces, at the pace of HTTP/1.1's.
constexpr size_t kHttp2ReceiveChunk = 256 * 1024;

}  // namespace

void CNoneBlockingServer::StartHttp2(s_socket_stage& c) {
  Http2Session::Environment environment;
  environment.router = StreamRouter();
  environment.reserve = [this](size_t bytes) {
    if (bytes > kMaxBufferedRequestBytes - reserved_bytes_) return false;
    reserved_bytes_ += bytes;
    return true;
  };
  environment.release = [this](size_t bytes) { reserved_bytes_ -= bytes; };
  environment.reserve_answer = [this](size_t bytes) {
    size_t limit = GetResponseByteLimit();
    size_t held = send_queue_.held_bytes() + http2_answer_bytes_.load();
    if (bytes > limit - std::min(limit, held)) return false;
    http2_answer_bytes_ += bytes;
    return true;
  };
  environment.release_answer = [this](size_t bytes) { http2_answer_bytes_ -= bytes; };
  environment.unanswered = [this](const CResponder& responder) { OnStreamUnanswered(responder); };
  environment.wake = [this] { WakeLoop(); };
  environment.now_ms = [this] { return sockets_.TickCountMs(); };
  environment.peer_address = c.peer;
  c.http2 = std::make_unique<Http2Session>(std::move(environment));
  c.stage = kHttp2;
  c.last_activity_ms = sockets_.TickCountMs();
  c.readable = true;
}

int CNoneBlockingServer::RunHttp2(const std::vector<size_t>& indices) {
  int count = 0;
  for (size_t i : indices) {
    s_socket_stage& c = connections_[i];
    Http2Session& session = *c.http2;
    bool alive = !c.readable || ReceiveHttp2(c);
    bool polled = session.Poll();
    bool wrote = false;
    bool sent = SendHttp2(c, &wrote);
    bool closing = !alive || !sent || session.Finished();
    if (closing) c.stage = kClosing;
    // A connection with nothing to do leaves the loop free to wait: the socket's readiness
    // and the mailbox's wake bring it back, instead of a pass that spins on it.
    if (c.readable || polled || closing || wrote) ++count;
  }
  return count;
}

bool CNoneBlockingServer::ReceiveHttp2(s_socket_stage& c) {
  c.receive_buffer.resize(kHttp2ReceiveChunk);
  size_t count = 0;
  int error = 0;
  platform::IoStatus status =
      sockets_.Receive(c.socket, c.receive_buffer.data(), c.receive_buffer.size(), &count, &error);
  if (status == platform::IoStatus::kWouldBlock) return true;
  if (status != platform::IoStatus::kDone) {
    // The client has gone, or has ended its side: nothing it asked for is read any more.
    c.http2->Abandon();
    return false;
  }
  c.last_activity_ms = sockets_.TickCountMs();
  // A session that refuses the bytes still sends its GOAWAY, if the socket takes it.
  if (!c.http2->Receive(std::string_view(c.receive_buffer).substr(0, count))) {
    SendHttp2(c);
    return false;
  }
  return true;
}

bool CNoneBlockingServer::SendHttp2(s_socket_stage& c, bool* wrote) {
  for (;;) {
    std::string_view output = c.http2->Output();
    if (output.empty()) return true;
    size_t sent = 0;
    int error = 0;
    platform::IoStatus status = sockets_.Send(c.socket, output, {}, &sent, &error);
    c.http2->Sent(sent);
    if (sent > 0) {
      c.last_activity_ms = sockets_.TickCountMs();
      if (wrote != nullptr) *wrote = true;
    }
    if (status == platform::IoStatus::kWouldBlock ||
        (status == platform::IoStatus::kDone && sent < output.size())) {
      return true;
    }
    if (status != platform::IoStatus::kDone) return false;
  }
}
