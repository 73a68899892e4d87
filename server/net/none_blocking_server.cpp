#include "server/net/none_blocking_server.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "platform/text.h"
#include "server/net/http_headers.h"
#include "server/net/request_framing.h"

namespace {

constexpr int kBacklog = 1024;
// Connections accepted in one pass at most, so a burst of new ones cannot starve the rest.
constexpr int kAcceptsPerPass = 64;
constexpr size_t kReceiveChunk = 64 * 1024;
// A streamed body is read in larger pieces: fewer calls per megabyte, and each piece goes to
// the stream as it is, without a copy.
constexpr size_t kBodyChunk = 256 * 1024;
// What a body stream may hold before the server stops reading its connection, plus the piece
// read last: its share of the request budget.
constexpr size_t kBodyStreamBudget = kBodyStreamWindowBytes + kBodyChunk;
constexpr int64_t kOrphanSweepIntervalMs = 1000;

// The server whose Step runs on this thread now, if any: what it posts meanwhile is sent in
// the same pass, so the loop need not be woken for it.
thread_local const CNoneBlockingServer* stepping_server = nullptr;

}  // namespace

CNoneBlockingServer::CNoneBlockingServer(size_t max_connections, platform::SocketLayer* sockets)
    : max_connections_(max_connections), sockets_(*sockets) {}

CNoneBlockingServer::~CNoneBlockingServer() {
  Stop();
  for (s_socket_stage& connection : connections_) {
    // Jobs still holding a request find its client gone instead of a server that is no more.
    if (connection.responder != nullptr) connection.responder->Detach();
    if (connection.body_stream != nullptr) connection.body_stream->Abandon();
    if (connection.http2 != nullptr) connection.http2->Abandon();
    sockets_.Close(connection.socket);
  }
}

bool CNoneBlockingServer::OnRequest(s_message&, const std::shared_ptr<CHttp1Responder>&) {
  return true;
}
CNoneBlockingServer::BodyStreamOpener CNoneBlockingServer::BodyStreamFor(
    std::string_view, const std::shared_ptr<CHttp1Responder>&) {
  return {};
}
bool CNoneBlockingServer::OnPeerHungUp(const CHttp1Responder&) {
  return false;
}
void CNoneBlockingServer::OnStreamUnanswered(const CResponder&) {}
void CNoneBlockingServer::Log(const std::string&) {}
double CNoneBlockingServer::GetTimeoutMs() {
  return 300000.0;
}
double CNoneBlockingServer::GetHeaderDeadlineMs() {
  return kHeaderDeadlineMs;
}
size_t CNoneBlockingServer::GetResponseByteLimit() {
  return kMaxQueuedResponseBytes;
}
double CNoneBlockingServer::GetStallMs() {
  return kStallMs;
}
double CNoneBlockingServer::GetProgressWindowMs() {
  return kProgressWindowMs;
}
size_t CNoneBlockingServer::GetMaxConnectionsPerAddress() {
  return kMaxConnectionsPerAddress;
}
double CNoneBlockingServer::GetHttp2IdleMs() {
  return kHttp2IdleMs;
}
CStreamRouter* CNoneBlockingServer::StreamRouter() {
  return nullptr;
}
bool CNoneBlockingServer::SpeaksPriorKnowledgeHttp2() {
  return false;
}

bool CNoneBlockingServer::Start(const std::string& port) {
  Stop();
  // Each connection holds a descriptor; the default soft limit of many systems (1024) would
  // end accepting before the connection table is full.
  platform::RaiseDescriptorLimit();
  // Asked once: the limits hold for the server's life, and the loop consults them often.
  progress_window_ms_ = GetProgressWindowMs();
  max_per_address_ = GetMaxConnectionsPerAddress();
  listener_ = sockets_.Listen(port, kBacklog);
  connection_counter_ = 0;
  return listener_ != platform::kInvalidSocket;
}

void CNoneBlockingServer::Stop() {
  if (listener_ != platform::kInvalidSocket) sockets_.Close(listener_);
  listener_ = platform::kInvalidSocket;
}

int CNoneBlockingServer::ListeningPort() const {
  return listener_ == platform::kInvalidSocket ? 0 : sockets_.LocalPort(listener_);
}

void CNoneBlockingServer::PostResponse(int16_t final_flag, s_message message) {
  const bool from_step = stepping_server == this;
  message.enqueue_time_ms = from_step ? pass_ms_ : sockets_.TickCountMs();
  message.timeout_ms = GetTimeoutMs();
  message.sent = 0;
  size_t limit = final_flag == 1 ? GetResponseByteLimit() : static_cast<size_t>(-1);
  if (final_flag == 1) limit -= std::min(limit, http2_answer_bytes_.load());
  if (!send_queue_.push_within(limit, final_flag, message)) {
    message.bytes = ServiceUnavailableResponse();
    message.body.reset();
    message.file.reset();
    send_queue_.push(final_flag, std::move(message));
  }
  if (from_step) {
    posted_in_step_ = true;
  } else {
    response_posted_.Signal();
  }
}

void CNoneBlockingServer::WaitForReadiness(int timeout_us, bool wake) {
  // Waiting and receiving connections are read when readable; sending connections are
  // written when writable, so a slow reader does not make every pass spin on it.
  // Kept from pass to pass, so a pass allocates nothing for them.
  std::vector<platform::ReadinessWatch>& watches = watches_;
  std::vector<size_t>& owners = watch_owners_;
  watches.clear();
  owners.clear();
  watches.push_back({listener_});
  for (size_t i = 0; i < connections_.size(); ++i) {
    s_socket_stage& c = connections_[i];
    c.readable = c.writable = c.hung_up = false;
    // A body stream that holds its fill is not read: the client's sending stalls in the
    // socket's buffers until the stream's writer catches up and wakes the loop.
    bool held_back = c.body_stream != nullptr && c.body_stream->Full();
    if ((c.stage == kWaiting || c.stage == kReceiving || c.stage == kSending) && !held_back) {
      watches.push_back({c.socket, c.stage == kSending});
      owners.push_back(i);
    } else if (c.stage == kHttp2) {
      // A session with bytes the socket did not take waits for room; otherwise it reads.
      watches.push_back({c.socket, c.http2->OutputPending()});
      owners.push_back(i);
    } else if (c.stage == kAwaitingResponse && !c.owner_heard) {
      // A client that leaves before its answer comes should not keep a worker busy for it.
      watches.push_back({.socket = c.socket, .hang_up_only = true});
      owners.push_back(i);
    }
  }
  // A full table still takes new connections while some connection can be evicted for them.
  bool watch_listener = listener_ != platform::kInvalidSocket &&
                        (connections_.size() < max_connections_ ||
                         EvictionCandidate(sockets_.TickCountMs()) != connections_.size());
  if (!watch_listener) watches.erase(watches.begin());
  if (wake) watches.push_back({response_posted_.handle()});
  sockets_.WaitReady(&watches, timeout_us);
  if (wake) {
    if (watches.back().ready) response_posted_.Clear();
    watches.pop_back();
  }
  size_t first = watch_listener ? 1 : 0;
  listener_ready_ = first == 1 && watches[0].ready;
  for (size_t w = first; w < watches.size(); ++w) {
    s_socket_stage& c = connections_[owners[w - first]];
    const platform::ReadinessWatch& watch = watches[w];
    (watch.hang_up_only ? c.hung_up : watch.want_write ? c.writable : c.readable) = watch.ready;
  }
}

void CNoneBlockingServer::WaitForWork(int timeout_ms) {
  WaitForReadiness(timeout_ms * 1000, true);
  readiness_fresh_ = true;
}

void CNoneBlockingServer::AcceptPending() {
  if (!listener_ready_) return;
  for (int i = 0; i < kAcceptsPerPass && AcceptOne(); ++i) {
  }
}

bool CNoneBlockingServer::IdleForEviction(const s_socket_stage& c) const {
  // An HTTP/2 connection without an open stream waits for a request as a new one does.
  return ((c.stage == kWaiting || c.stage == kReceiving) && !c.header_complete) ||
         (c.stage == kHttp2 && c.http2->Idle());
}

bool CNoneBlockingServer::StalledForEviction(const s_socket_stage& c, int64_t now) const {
  // A body held back by its full stream waits for this server, not for its client.
  const bool arriving_body = c.stage == kReceiving && c.header_complete &&
                             !(c.body_stream != nullptr && c.body_stream->Full());
  return (arriving_body || c.stage == kSending) &&
         static_cast<double>(now - c.last_activity_ms) >= progress_window_ms_;
}

size_t CNoneBlockingServer::EvictionCandidate(int64_t now) const {
  // The table is in accept order, so of equals the first is the oldest. The client with the
  // most connections gives one up first: a flood from a few addresses closes its own, not a
  // client that connected a moment ago and is about to send its request.
  for (bool idle : {true, false}) {
    size_t found = connections_.size();
    size_t found_count = 0;
    for (size_t i = 0; i < connections_.size(); ++i) {
      const s_socket_stage& c = connections_[i];
      if (idle ? !IdleForEviction(c) : !StalledForEviction(c, now)) continue;
      auto held = connections_per_address_.find(c.peer);
      const size_t count = held == connections_per_address_.end() ? 0 : held->second;
      if (found == connections_.size() || count > found_count) {
        found = i;
        found_count = count;
      }
    }
    if (found != connections_.size()) return found;
  }
  return connections_.size();
}

bool CNoneBlockingServer::AcceptOne() {
  const int64_t now = pass_ms_;
  const bool full = connections_.size() >= max_connections_;
  const size_t evicted = full ? EvictionCandidate(now) : connections_.size();
  if (full && evicted == connections_.size()) {
    std::printf("Socket capacity over.\n");
    return false;
  }
  std::string peer;
  platform::SocketHandle s = sockets_.AcceptWithPeer(listener_, &peer);
  if (s == platform::kInvalidSocket) return false;
  auto held = connections_per_address_.find(peer);
  if (held != connections_per_address_.end() && held->second >= max_per_address_) {
    // Refused before anything is read: one client cannot take the table from the others.
    sockets_.Close(s);
    return true;
  }
  if (full) {
    CloseConnection(connections_[evicted]);
    connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(evicted));
  }
  ++connections_per_address_[peer];
  s_socket_stage connection;
  connection.socket = s;
  connection.connection_id = connection_counter_++;
  connection.stage = kWaiting;
  connection.last_activity_ms = now;
  connection.timeout_ms = GetTimeoutMs();
  connection.peer = std::move(peer);
  // A client that stalls its handshake never sends a request byte: the deadline counts from
  // the accept instead.
  if (sockets_.HandshakeFirst()) connection.first_byte_ms = connection.last_activity_ms;
  // The new socket's first bytes may already be there; let the waiting stage look at once.
  connection.readable = true;
  connections_.push_back(std::move(connection));
  return true;
}

bool CNoneBlockingServer::Step() {
  // Right after WaitForWork the readiness flags are current; polling again would only cost
  // a system call per idle turn.
  if (!readiness_fresh_) WaitForReadiness(0, false);
  readiness_fresh_ = false;
  // One clock reading serves the whole pass: its stages take microseconds, and the times
  // they stamp are compared with limits of many milliseconds.
  pass_ms_ = sockets_.TickCountMs();
  stepping_server = this;
  posted_in_step_ = false;
  AcceptPending();
  // Each stage sees the connections that were in it when it began, so a connection moves
  // on by at most the stages that follow its own in one pass.
  std::vector<size_t>& indices = stage_indices_;
  auto in = [&](int32_t stage) -> const std::vector<size_t>& {
    indices.clear();
    for (size_t i = 0; i < connections_.size(); ++i) {
      if (connections_[i].stage == stage) indices.push_back(i);
    }
    return indices;
  };
  int activity = RunWaiting(in(kWaiting));
  activity += RunReceiving(in(kReceiving));
  activity += RunProcessing(in(kProcessing));
  activity += RunAwaiting(in(kAwaitingResponse));
  activity += RunSending(in(kSending));
  activity += RunHttp2(in(kHttp2));
  activity += RunClosing(in(kClosing));
  SweepTimeouts();
  stepping_server = nullptr;
  // An answer posted after its connection's stage ran in this pass waits for the next one.
  return activity > 0 || posted_in_step_;
}

int CNoneBlockingServer::RunWaiting(const std::vector<size_t>& indices) {
  int count = 0;
  for (size_t i : indices) {
    s_socket_stage& c = connections_[i];
    if (!c.readable) continue;
    if (SpeaksPriorKnowledgeHttp2() && StreamRouter() != nullptr) {
      StartHttp2(c);
      ++count;
      continue;
    }
    c.stage = kReceiving;
    c.last_activity_ms = pass_ms_;
    c.receive_buffer.clear();
    ++count;
  }
  return count;
}

void CNoneBlockingServer::RefuseRequest(s_socket_stage& connection, std::string response) {
  s_message answer;
  answer.socket = connection.socket;
  answer.connection_id = connection.connection_id;
  answer.bytes = std::move(response);
  PostFinalResponse(std::move(answer));
  connection.receive_buffer.clear();
  connection.stage = kAwaitingResponse;
}

bool CNoneBlockingServer::ReserveRequest(s_socket_stage& c, size_t bytes) {
  if (bytes > kMaxBufferedRequestBytes - reserved_bytes_) return false;
  reserved_bytes_ += bytes;
  c.reserved_bytes = bytes;
  return true;
}

void CNoneBlockingServer::AnswerExpectContinue(s_socket_stage& c) {
  std::string expect;
  if (!FindHeaderValue(c.receive_buffer, "Expect", &expect) ||
      !platform::EqualsIgnoreCase(expect, "100-continue")) {
    return;
  }
  // An interim answer on a connection that has sent nothing yet: it fits the socket's empty
  // send buffer, so one send delivers it.
  static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
  size_t sent = 0;
  int error = 0;
  sockets_.Send(c.socket, kContinue, {}, &sent, &error);
}

void CNoneBlockingServer::CloseConnection(s_socket_stage& c) {
  sockets_.Close(c.socket);
  auto held = connections_per_address_.find(c.peer);
  if (held != connections_per_address_.end() && --held->second == 0) {
    connections_per_address_.erase(held);
  }
  if (c.responder != nullptr) c.responder->Detach();
  send_queue_.remove_by_connection(c.socket, c.connection_id);
  reserved_bytes_ -= c.reserved_bytes;
  c.reserved_bytes = 0;
  if (c.body_stream != nullptr) {
    c.body_stream->Abandon();
    c.body_stream.reset();
  }
  if (c.http2 != nullptr) c.http2->Abandon();
}

void CNoneBlockingServer::ReceiveOnce(s_socket_stage& c) {
  if (c.body_stream != nullptr) {
    ReceiveBody(c);
    return;
  }
  char chunk[kReceiveChunk];
  size_t count = 0;
  int error = 0;
  platform::IoStatus status = sockets_.Receive(c.socket, chunk, sizeof chunk, &count, &error);
  if (status == platform::IoStatus::kWouldBlock) return;
  if (status == platform::IoStatus::kClosed && !c.receive_buffer.empty()) {
    // The peer ended its side with a request begun but not whole, such as a body shorter than
    // its Content-Length; it may still read the answer.
    RefuseRequest(c, FramingErrorResponse(FramingState::kBadLength));
    return;
  }
  if (status != platform::IoStatus::kDone) {
    // The peer closed before sending anything, or the connection broke: nothing can be
    // answered, so the connection goes at once.
    if (status == platform::IoStatus::kError) {
      std::printf("error : 0x%x\n", static_cast<unsigned>(error));
      std::printf("disconnect.\n");
    }
    c.stage = kClosing;
    return;
  }
  c.last_activity_ms = pass_ms_;
  if (c.receive_buffer.empty() && StreamRouter() != nullptr &&
      sockets_.Protocol(c.socket) == "h2") {
    // The handshake chose HTTP/2: these are the first bytes of its frames.
    StartHttp2(c);
    if (!c.http2->Receive(std::string_view(chunk, count))) c.stage = kClosing;
    return;
  }
  if (c.first_byte_ms < 0) c.first_byte_ms = c.last_activity_ms;
  c.receive_buffer.append(chunk, count);
  if (!c.header_complete) {
    // Only the new bytes need a look, and the two before them, where a blank line may begin.
    size_t from = c.receive_buffer.size() - count;
    from = from > 2 ? from - 2 : 0;
    c.header_complete =
        HeaderBlockSize(std::string_view(c.receive_buffer).substr(from)) != std::string_view::npos;
    if (!c.header_complete && c.receive_buffer.size() <= kMaxHeaderBlockBytes) return;
  }

  size_t request_size = 0;
  size_t head_size = 0;
  FramingState state = CheckRequestFraming(c.receive_buffer, &request_size, &head_size);
  if ((state == FramingState::kIncomplete || state == FramingState::kComplete) &&
      c.reserved_bytes == 0 && request_size > head_size &&
      StartBodyStream(c, head_size, request_size)) {
    return;
  }
  if (state == FramingState::kIncomplete) {
    if (request_size > 0 && c.reserved_bytes == 0) {
      if (!ReserveRequest(c, request_size)) {
        RefuseRequest(c, ServiceUnavailableResponse());
        return;
      }
      // One allocation of the final size: growing by doubling would hold up to twice the body.
      c.receive_buffer.reserve(request_size);
      AnswerExpectContinue(c);
    }
    return;
  }
  if (state != FramingState::kComplete) {
    RefuseRequest(c, FramingErrorResponse(state));
    return;
  }
  // Nothing came after the request, and the read took all there was: closing the connection
  // after its answer finds no unread bytes.
  c.drained = request_size == c.receive_buffer.size() && count < sizeof chunk;
  c.receive_buffer.resize(request_size);
  c.stage = kProcessing;
}

const std::shared_ptr<CHttp1Responder>& CNoneBlockingServer::ResponderOf(s_socket_stage& c) {
  if (c.responder == nullptr) {
    c.responder = std::make_shared<CHttp1Responder>(this, c.socket, c.connection_id);
  }
  return c.responder;
}

bool CNoneBlockingServer::StartBodyStream(s_socket_stage& c, size_t head_size,
                                          size_t request_size) {
  BodyStreamOpener open =
      BodyStreamFor(std::string_view(c.receive_buffer).substr(0, head_size), ResponderOf(c));
  if (!open) return false;
  std::shared_ptr<CRequestBodyStream> stream = open();
  if (stream == nullptr) {
    // Answered from the header block (refused): the body is neither read nor given room, and
    // the connection closes once the answer is out.
    std::string().swap(c.receive_buffer);
    c.stage = kAwaitingResponse;
    return true;
  }
  const size_t body_size = request_size - head_size;
  // A stream never holds more than its window, nor more than the whole body.
  if (!ReserveRequest(c, std::min(kBodyStreamBudget, body_size))) {
    stream->Abandon();
    RefuseRequest(c, ServiceUnavailableResponse());
    return true;
  }
  if (request_size > c.receive_buffer.size()) AnswerExpectContinue(c);
  c.body_stream = std::move(stream);
  c.body_remaining = body_size;
  std::string first = c.receive_buffer.substr(head_size, c.body_remaining);
  std::string().swap(c.receive_buffer);
  DeliverBody(c, std::move(first));
  return true;
}

void CNoneBlockingServer::ReceiveBody(s_socket_stage& c) {
  std::string piece = c.body_stream->SpareBuffer();
  if (piece.size() < kBodyChunk) piece.resize(kBodyChunk);
  size_t count = 0;
  int error = 0;
  platform::IoStatus status =
      sockets_.Receive(c.socket, piece.data(), piece.size(), &count, &error);
  if (status == platform::IoStatus::kWouldBlock) return;
  if (status != platform::IoStatus::kDone) {
    c.body_stream->Abandon();
    c.body_stream.reset();
    if (status == platform::IoStatus::kClosed) {
      // As for a whole request cut short: the client may still read the answer.
      RefuseRequest(c, FramingErrorResponse(FramingState::kBadLength));
    } else {
      std::printf("error : 0x%x\n", static_cast<unsigned>(error));
      std::printf("disconnect.\n");
      c.stage = kClosing;
    }
    return;
  }
  c.last_activity_ms = pass_ms_;
  // An answer a stream gives before the body's end waits for it; it must not expire while
  // the body is still arriving, however slowly.
  send_queue_.visit_first(c.socket, c.connection_id,
                          [&c](s_message& answer) { answer.enqueue_time_ms = c.last_activity_ms; });
  // Bytes past the body are dropped, as after a whole request.
  piece.resize(std::min(count, c.body_remaining));
  // A small piece is copied so that the stream does not hold a mostly empty buffer.
  if (piece.size() < kBodyChunk / 4) piece = std::string(piece);
  DeliverBody(c, std::move(piece));
}

void CNoneBlockingServer::DeliverBody(s_socket_stage& c, std::string bytes) {
  c.body_remaining -= bytes.size();
  if (!bytes.empty()) c.body_stream->Append(std::move(bytes));
  if (c.body_remaining > 0) return;
  c.body_stream->Finish();
  c.body_stream.reset();
  c.stage = kAwaitingResponse;
}

int CNoneBlockingServer::RunReceiving(const std::vector<size_t>& indices) {
  int count = 0;
  for (size_t i : indices) {
    s_socket_stage& c = connections_[i];
    if (!c.readable) continue;
    ReceiveOnce(c);
    ++count;
  }
  return count;
}

int CNoneBlockingServer::RunProcessing(const std::vector<size_t>& indices) {
  int count = 0;
  for (size_t i : indices) {
    s_socket_stage& c = connections_[i];
    // Moved, never copied: a body may be hundreds of megabytes.
    s_message request;
    request.socket = c.socket;
    request.connection_id = c.connection_id;
    request.bytes = std::move(c.receive_buffer);
    ++count;
    if (!OnRequest(request, ResponderOf(c))) {
      c.receive_buffer = std::move(request.bytes);
      continue;
    }
    c.receive_buffer.clear();
    c.stage = kAwaitingResponse;
    c.last_activity_ms = pass_ms_;
  }
  return count;
}

int CNoneBlockingServer::RunAwaiting(const std::vector<size_t>& indices) {
  int count = 0;
  for (size_t i : indices) {
    s_socket_stage& c = connections_[i];
    if (!send_queue_.find(c.socket, c.connection_id)) {
      if (!c.hung_up) continue;
      c.owner_heard = true;
      if (OnPeerHungUp(*ResponderOf(c))) c.stage = kClosing;
      ++count;
      continue;
    }
    c.stage = kSending;
    c.last_activity_ms = pass_ms_;  // the stall is measured from here
    c.writable = true;              // try the first send in this same pass
    ++count;
  }
  return count;
}

int CNoneBlockingServer::RunSending(const std::vector<size_t>& indices) {
  int count = 0;
  for (size_t i : indices) {
    s_socket_stage& c = connections_[i];
    if (!c.writable) continue;
    bool finished = false, closing = false, broken = false;
    bool found = send_queue_.visit_first(c.socket, c.connection_id, [&](s_message& m) {
      size_t sent = 0;
      const bool last = c.drained && m.final_flag == 1;
      platform::IoStatus status = SendSomeOf(c.socket, m, last, &sent);
      if (status == platform::IoStatus::kDone && m.file && sent > 0 && m.sent == m.bytes.size()) {
        // The header block has just gone; its file follows in the same pass.
        size_t more = 0;
        status = SendSomeOf(c.socket, m, last, &more);
        sent += more;
      }
      if (status == platform::IoStatus::kError || status == platform::IoStatus::kClosed) {
        broken = true;
        return;
      }
      finished = m.sent == m.size();
      closing = finished && m.final_flag == 1;
      if (sent > 0 || finished) c.last_activity_ms = pass_ms_;
    });
    if (!found) {
      c.stage = kAwaitingResponse;  // the next piece has not been posted yet
      continue;
    }
    ++count;
    if (broken) {
      // The peer is gone, or the file was cut short: retrying cannot deliver anything.
      std::printf("Error to send.\n");
      c.stage = kClosing;
      continue;
    }
    if (finished) send_queue_.remove_by_connection(c.socket, c.connection_id);
    if (closing) c.stage = kClosing;
  }
  return count;
}

platform::IoStatus CNoneBlockingServer::SendSomeOf(platform::SocketHandle socket, s_message& m,
                                                   bool last, size_t* sent) {
  int error = 0;
  if (m.file && m.sent >= m.bytes.size()) {
    uint64_t offset = m.sent - m.bytes.size();
    platform::IoStatus status =
        sockets_.SendFile(socket, m.file->handle(), offset, m.file->size() - offset, sent, &error);
    m.sent += *sent;
    return status;
  }
  // The header bytes and the shared body go out together; `sent` may end in either.
  std::string_view head = std::string_view(m.bytes).substr(std::min(m.sent, m.bytes.size()));
  std::string_view body;
  if (m.body) {
    body = std::string_view(reinterpret_cast<const char*>(m.body->data()), m.body->size());
    body.remove_prefix(m.sent > m.bytes.size() ? m.sent - m.bytes.size() : 0);
  }
  // Without a file, these bytes end the message, and with `last` what the connection sends.
  platform::IoStatus status = last && !m.file ? sockets_.SendLast(socket, head, body, sent, &error)
                                              : sockets_.Send(socket, head, body, sent, &error);
  m.sent += *sent;
  return status;
}

int CNoneBlockingServer::RunClosing(const std::vector<size_t>& indices) {
  for (size_t i : indices) CloseConnection(connections_[i]);
  // indices ascend, so erasing from the back keeps the others valid.
  for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
    connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(*it));
  }
  return static_cast<int>(indices.size());
}

void CNoneBlockingServer::SweepTimeouts() {
  int64_t now = pass_ms_;
  int sockets = 0;
  double header_deadline = GetHeaderDeadlineMs();
  double stall = GetStallMs();
  for (s_socket_stage& c : connections_) {
    if (c.stage == kClosing) continue;
    const double quiet = static_cast<double>(now - c.last_activity_ms);
    bool idle = quiet >= c.timeout_ms ||
                (c.stage == kHttp2 && c.http2->Idle() && quiet >= GetHttp2IdleMs());
    bool header_late = c.stage == kReceiving && !c.header_complete && c.first_byte_ms >= 0 &&
                       static_cast<double>(now - c.first_byte_ms) >= header_deadline;
    // A body held back by its full stream waits for this server, not for its client.
    bool body_stalled = c.stage == kReceiving && c.header_complete && quiet >= stall &&
                        !(c.body_stream != nullptr && c.body_stream->Full());
    bool answer_stalled = c.stage == kSending && quiet >= stall;
    if (idle || header_late || body_stalled || answer_stalled) {
      c.stage = kClosing;
      ++sockets;
    }
  }
  int sent = send_queue_.expire(now);
  if (now - last_orphan_sweep_ms_ >= kOrphanSweepIntervalMs) {
    // A worker may answer a connection that has closed meanwhile; its response can never be
    // delivered, so it is dropped now rather than held until its time-out.
    last_orphan_sweep_ms_ = now;
    std::unordered_map<platform::SocketHandle, int32_t> open;  // a handle is open once at a time
    open.reserve(connections_.size());
    for (const s_socket_stage& c : connections_) open.emplace(c.socket, c.connection_id);
    send_queue_.remove_connections_if([&open](platform::SocketHandle socket, int32_t id) {
      auto found = open.find(socket);
      return found == open.end() || found->second != id;
    });
  }
  if (sockets > 0) Log("DeleteSocketByTimeout:" + std::to_string(sockets));
  if (sent > 0) Log("DeleteSendMsgByTimeout:" + std::to_string(sent));
}
