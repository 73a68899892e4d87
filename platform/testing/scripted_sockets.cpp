#include "platform/testing/scripted_sockets.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace platform {

SocketHandle ScriptedSockets::Connect() {
  SocketHandle socket = next_handle_++;
  connections_[socket];
  pending_accepts_.push_back(socket);
  return socket;
}

void ScriptedSockets::Deliver(SocketHandle socket, std::string bytes) {
  auto found = connections_.find(socket);
  if (found == connections_.end() || found->second.peer_closed || bytes.empty()) return;
  found->second.inbound.push_back(std::move(bytes));
}

void ScriptedSockets::PeerClose(SocketHandle socket) {
  auto found = connections_.find(socket);
  if (found != connections_.end()) found->second.peer_closed = true;
}

void ScriptedSockets::Break(SocketHandle socket) {
  auto found = connections_.find(socket);
  if (found != connections_.end()) found->second.broken = true;
}

void ScriptedSockets::SetSendRoom(SocketHandle socket, size_t bytes) {
  auto found = connections_.find(socket);
  if (found != connections_.end()) found->second.send_room = bytes;
}

const std::string& ScriptedSockets::Sent(SocketHandle socket) const {
  static const std::string kNothing;
  auto found = connections_.find(socket);
  return found == connections_.end() ? kNothing : found->second.sent;
}

bool ScriptedSockets::ClosedByLoop(SocketHandle socket) const {
  auto found = connections_.find(socket);
  return found != connections_.end() && found->second.closed;
}

bool ScriptedSockets::IsBroken(SocketHandle socket) const {
  auto found = connections_.find(socket);
  return found != connections_.end() && found->second.broken;
}

std::vector<SocketHandle> ScriptedSockets::Accepted() const {
  std::vector<SocketHandle> accepted;
  for (const auto& [socket, connection] : connections_) {
    if (connection.accepted) accepted.push_back(socket);
  }
  return accepted;
}

ScriptedSockets::Connection* ScriptedSockets::Open(SocketHandle socket, const char* call) {
  auto found = connections_.find(socket);
  if (found != connections_.end() && found->second.accepted && !found->second.closed) {
    return &found->second;
  }
  if (misuse_.empty()) misuse_ = std::string(call) + " on handle " + std::to_string(socket);
  return nullptr;
}

SocketHandle ScriptedSockets::Listen(const std::string&, int) {
  listening_ = true;
  return kListener;
}

int ScriptedSockets::LocalPort(SocketHandle listener) {
  return listener == kListener && listening_ ? 8080 : 0;
}

SocketHandle ScriptedSockets::Accept(SocketHandle listener) {
  if (listener != kListener || !listening_ || pending_accepts_.empty()) return kInvalidSocket;
  SocketHandle socket = pending_accepts_.front();
  pending_accepts_.pop_front();
  connections_[socket].accepted = true;
  return socket;
}

IoStatus ScriptedSockets::Receive(SocketHandle socket, char* buffer, size_t size, size_t* count,
                                  int* error) {
  *count = 0;
  Connection* c = Open(socket, "Receive");
  if (c == nullptr || c->broken) {
    *error = 104;  // ECONNRESET
    return IoStatus::kError;
  }
  if (c->inbound.empty()) return c->peer_closed ? IoStatus::kClosed : IoStatus::kWouldBlock;
  std::string& chunk = c->inbound.front();
  *count = std::min(size, chunk.size());
  std::memcpy(buffer, chunk.data(), *count);
  chunk.erase(0, *count);
  if (chunk.empty()) c->inbound.pop_front();
  return IoStatus::kDone;
}

IoStatus ScriptedSockets::Send(SocketHandle socket, std::string_view head, std::string_view tail,
                               size_t* count, int* error) {
  *count = 0;
  Connection* c = Open(socket, "Send");
  if (c == nullptr || c->broken) {
    *error = 32;  // EPIPE
    return IoStatus::kError;
  }
  if (head.empty() && tail.empty()) return IoStatus::kDone;
  if (c->send_room == 0) return IoStatus::kWouldBlock;
  for (std::string_view part : {head, tail}) {
    size_t take = std::min(part.size(), c->send_room);
    c->sent.append(part.substr(0, take));
    *count += take;
    if (c->send_room != kUnlimited) c->send_room -= take;
    if (take < part.size()) break;
  }
  return IoStatus::kDone;
}

IoStatus ScriptedSockets::SendFile(SocketHandle socket, int file, uint64_t offset, size_t size,
                                   size_t* count, int* error) {
  *count = 0;
  if (Open(socket, "SendFile") == nullptr) return IoStatus::kError;
  std::string bytes(std::min<size_t>(size, 1 << 20), '\0');
  ssize_t n = pread(file, bytes.data(), bytes.size(), static_cast<off_t>(offset));
  if (n <= 0 && size > 0) return IoStatus::kClosed;
  bytes.resize(static_cast<size_t>(n));
  return Send(socket, bytes, {}, count, error);
}

void ScriptedSockets::Close(SocketHandle socket) {
  if (socket == kListener) {
    listening_ = false;
    return;
  }
  if (Connection* c = Open(socket, "Close")) c->closed = true;
}

bool ScriptedSockets::Ready(SocketHandle socket, bool want_write) const {
  if (socket == kListener) return listening_ && !want_write && !pending_accepts_.empty();
  auto found = connections_.find(socket);
  if (found == connections_.end() || !found->second.accepted || found->second.closed) {
    return false;
  }
  const Connection& c = found->second;
  if (c.broken) return true;
  return want_write ? c.send_room > 0 : !c.inbound.empty() || c.peer_closed;
}

int ScriptedSockets::WaitReady(std::vector<ReadinessWatch>* watches, int) {
  // Never waits: time moves only when the script advances it.
  int ready = 0;
  for (ReadinessWatch& watch : *watches) {
    watch.ready = Ready(watch.socket, watch.want_write);
    ready += watch.ready ? 1 : 0;
  }
  return ready;
}

std::string ScriptedSockets::PeerAddress(SocketHandle socket) {
  return Open(socket, "PeerAddress") != nullptr ? "192.0.2.1" : "";
}

}  // namespace platform
