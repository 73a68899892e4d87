#include "server/tls/tls_transport.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>

#include "platform/file_system.h"
#include "server/net/http_headers.h"
#include "server/tls/plain_http_redirect.h"

namespace {

constexpr unsigned char kHandshakeRecord = 0x16;
// The most plaintext one TLS record carries.
constexpr size_t kRecordBytes = 16 * 1024;
// What one SendFile call encrypts at most, so that one fast reader does not hold up the loop.
constexpr size_t kFileBytesPerCall = 256 * 1024;

struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

// The socket BIO's write raises SIGPIPE, which ends the process, when the client has gone;
// this one sends with MSG_NOSIGNAL (platform::SendSome) and is the socket BIO otherwise.
int SendWithoutSignal(BIO* bio, const char* data, int size) {
  int socket = -1;
  BIO_get_fd(bio, &socket);
  BIO_clear_retry_flags(bio);
  size_t sent = 0;
  int error = 0;
  platform::IoStatus status =
      platform::SendSome(socket, data, static_cast<size_t>(size), &sent, &error);
  if (status == platform::IoStatus::kDone) return static_cast<int>(sent);
  if (status == platform::IoStatus::kWouldBlock) {
    BIO_set_retry_write(bio);
  } else {
    errno = error;
  }
  return -1;
}

const BIO_METHOD* SocketWithoutSignal() {
  static const BIO_METHOD* method = [] {
    const BIO_METHOD* socket = BIO_s_socket();
    BIO_METHOD* m = BIO_meth_new(BIO_TYPE_SOCKET, "socket without SIGPIPE");
    BIO_meth_set_write(m, SendWithoutSignal);
    BIO_meth_set_read(m, BIO_meth_get_read(socket));
    BIO_meth_set_puts(m, BIO_meth_get_puts(socket));
    BIO_meth_set_ctrl(m, BIO_meth_get_ctrl(socket));
    BIO_meth_set_create(m, BIO_meth_get_create(socket));
    BIO_meth_set_destroy(m, BIO_meth_get_destroy(socket));
    return m;
  }();
  return method;
}

// What an SSL call that returned `result` instead of success waits for.
enum class Stall { kRead, kWrite, kFailed };

Stall StallOf(SSL* ssl, int result) {
  int reason = SSL_get_error(ssl, result);
  ERR_clear_error();
  if (reason == SSL_ERROR_WANT_READ) return Stall::kRead;
  if (reason == SSL_ERROR_WANT_WRITE) return Stall::kWrite;
  return Stall::kFailed;
}

}  // namespace

struct TlsTransport::Session {
  enum class State {
    kFirstByte,  // nothing received yet
    kHandshake,
    kOpen,
    kPlain,   // a plain-HTTP request, read until its header block ends
    kClosed,  // answered or failed: Receive reports the end
  };
  State state = State::kFirstByte;
  std::unique_ptr<SSL, SslFree> ssl;
  // The last read could not go on until the socket takes bytes (a handshake message).
  bool read_wants_write = false;
  std::string plain_head;
  // A piece of a file handed to SSL_write that has not gone out whole; a retry must hand
  // the same bytes again.
  std::string file_piece;
  uint64_t file_piece_offset = 0;
  std::string joined;  // a short head and the start of its tail, sent as one record
};

TlsTransport::TlsTransport(CertificateStore* certificates)
    : certificates_(*certificates), system_(platform::SystemSockets()) {}

TlsTransport::~TlsTransport() = default;

std::string TlsTransport::Protocol(platform::SocketHandle socket) const {
  auto found = sessions_.find(socket);
  if (found == sessions_.end() || found->second->state != Session::State::kOpen) return "";
  const unsigned char* name = nullptr;
  unsigned int length = 0;
  SSL_get0_alpn_selected(found->second->ssl.get(), &name, &length);
  return std::string(reinterpret_cast<const char*>(name), length);
}

std::string TlsTransport::Describe(platform::SocketHandle socket) const {
  auto found = sessions_.find(socket);
  if (found == sessions_.end()) return "";
  const Session& session = *found->second;
  switch (session.state) {
    case Session::State::kOpen: {
      std::string protocol = Protocol(socket);
      return std::string(SSL_get_version(session.ssl.get())) + " " +
             (protocol.empty() ? "http/1.1" : protocol);
    }
    case Session::State::kPlain:
      return "plain HTTP";
    case Session::State::kClosed:
      return "closed";
    default:
      return "TLS handshake";
  }
}

platform::SocketHandle TlsTransport::Listen(const std::string& port, int backlog) {
  return system_.Listen(port, backlog);
}

int TlsTransport::LocalPort(platform::SocketHandle listener) {
  return system_.LocalPort(listener);
}

platform::SocketHandle TlsTransport::Accept(platform::SocketHandle listener) {
  platform::SocketHandle socket = system_.Accept(listener);
  if (socket == platform::kInvalidSocket) return socket;
  certificates_.CheckForChange(system_.TickCountMs());
  sessions_[socket] = std::make_unique<Session>();
  return socket;
}

platform::IoStatus TlsTransport::Receive(platform::SocketHandle socket, char* buffer, size_t size,
                                         size_t* count, int* error) {
  *count = 0;
  auto found = sessions_.find(socket);
  if (found == sessions_.end()) return platform::IoStatus::kClosed;
  Session& session = *found->second;
  session.read_wants_write = false;
  if (session.state == Session::State::kFirstByte) {
    unsigned char first = 0;
    platform::IoStatus status = platform::PeekByte(socket, &first, error);
    if (status != platform::IoStatus::kDone) return status;
    if (first != kHandshakeRecord) {
      session.state = Session::State::kPlain;
    } else {
      session.ssl.reset(SSL_new(certificates_.context()));
      BIO* bio = BIO_new(SocketWithoutSignal());
      if (session.ssl == nullptr || bio == nullptr) {
        BIO_free(bio);
        ERR_clear_error();
        session.state = Session::State::kClosed;
        return platform::IoStatus::kClosed;
      }
      BIO_set_fd(bio, socket, BIO_NOCLOSE);
      SSL_set_bio(session.ssl.get(), bio, bio);
      SSL_set_accept_state(session.ssl.get());
      session.state = Session::State::kHandshake;
    }
  }
  switch (session.state) {
    case Session::State::kPlain:
      return ReceivePlain(socket, session);
    case Session::State::kHandshake: {
      int done = SSL_do_handshake(session.ssl.get());
      if (done != 1) {
        Stall stall = StallOf(session.ssl.get(), done);
        session.read_wants_write = stall == Stall::kWrite;
        if (stall != Stall::kFailed) return platform::IoStatus::kWouldBlock;
        // A client that offers nothing acceptable (an old protocol version, a cipher without
        // forward secrecy) has been told by an alert; it is closed without a word here, as
        // scanners make many such attempts.
        session.state = Session::State::kClosed;
        return platform::IoStatus::kClosed;
      }
      session.state = Session::State::kOpen;
      return ReceiveDecrypted(session, buffer, size, count);
    }
    case Session::State::kOpen:
      return ReceiveDecrypted(session, buffer, size, count);
    default:
      return platform::IoStatus::kClosed;
  }
}

platform::IoStatus TlsTransport::ReceiveDecrypted(Session& session, char* buffer, size_t size,
                                                  size_t* count) {
  // Record by record until the buffer is full or the socket has no more: a record left
  // half-read stays in the session, and WaitReady reports it.
  size_t total = 0;
  Stall stall = Stall::kRead;
  while (total < size) {
    size_t read = 0;
    int done = SSL_read_ex(session.ssl.get(), buffer + total, size - total, &read);
    if (done != 1) {
      stall = StallOf(session.ssl.get(), done);
      break;
    }
    total += read;
  }
  *count = total;
  if (total > 0) return platform::IoStatus::kDone;
  session.read_wants_write = stall == Stall::kWrite;
  if (stall != Stall::kFailed) return platform::IoStatus::kWouldBlock;
  session.state = Session::State::kClosed;
  return platform::IoStatus::kClosed;
}

platform::IoStatus TlsTransport::ReceivePlain(platform::SocketHandle socket, Session& session) {
  char chunk[kMaxPlainRequestHead];
  size_t room = kMaxPlainRequestHead - session.plain_head.size();
  size_t count = 0;
  int error = 0;
  platform::IoStatus status = system_.Receive(socket, chunk, room, &count, &error);
  if (status == platform::IoStatus::kWouldBlock) return status;
  if (status != platform::IoStatus::kDone) {
    session.state = Session::State::kClosed;
    return platform::IoStatus::kClosed;
  }
  session.plain_head.append(chunk, count);
  size_t head_size = HeaderBlockSize(session.plain_head);
  if (head_size == std::string::npos && session.plain_head.size() < kMaxPlainRequestHead) {
    return platform::IoStatus::kWouldBlock;
  }
  // Only the redirect goes out, never a page: the socket's empty send buffer takes it whole.
  std::string answer = PlainHttpRedirect(session.plain_head);
  size_t sent = 0;
  system_.Send(socket, answer, {}, &sent, &error);
  session.state = Session::State::kClosed;
  std::string().swap(session.plain_head);
  return platform::IoStatus::kClosed;
}

platform::IoStatus TlsTransport::Broken(Session& session, int* error) {
  // The socket's own error, when there was one; the connection cannot be written any more.
  *error = errno;
  session.state = Session::State::kClosed;
  return platform::IoStatus::kError;
}

platform::IoStatus TlsTransport::Send(platform::SocketHandle socket, std::string_view head,
                                      std::string_view tail, size_t* count, int* error) {
  *count = 0;
  auto found = sessions_.find(socket);
  if (found == sessions_.end() || found->second->state != Session::State::kOpen) {
    return platform::IoStatus::kError;
  }
  Session& session = *found->second;
  size_t total = 0;
  while (!head.empty() || !tail.empty()) {
    // A short head (a header block) goes out in one record with the start of its body.
    std::string_view piece = head.empty() ? tail : head;
    if (!head.empty() && head.size() < kRecordBytes && !tail.empty()) {
      session.joined.assign(head);
      session.joined.append(tail.substr(0, kRecordBytes - head.size()));
      piece = session.joined;
    }
    size_t written = 0;
    int done = SSL_write_ex(session.ssl.get(), piece.data(), piece.size(), &written);
    if (done != 1) {
      if (StallOf(session.ssl.get(), done) != Stall::kFailed) break;
      return Broken(session, error);
    }
    total += written;
    size_t from_head = std::min(written, head.size());
    head.remove_prefix(from_head);
    tail.remove_prefix(written - from_head);
  }
  std::string().swap(session.joined);
  *count = total;
  return total > 0 || (head.empty() && tail.empty()) ? platform::IoStatus::kDone
                                                     : platform::IoStatus::kWouldBlock;
}

platform::IoStatus TlsTransport::SendFile(platform::SocketHandle socket, int file, uint64_t offset,
                                          size_t size, size_t* count, int* error) {
  *count = 0;
  auto found = sessions_.find(socket);
  if (found == sessions_.end() || found->second->state != Session::State::kOpen) {
    return platform::IoStatus::kError;
  }
  Session& session = *found->second;
  size_t total = 0;
  while (total < size && total < kFileBytesPerCall) {
    uint64_t at = offset + total;
    if (session.file_piece.empty() || session.file_piece_offset != at) {
      session.file_piece.resize(std::min(kRecordBytes, size - total));
      size_t read =
          platform::ReadOpenFileAt(file, at, session.file_piece.size(), session.file_piece.data());
      if (read == 0) {
        // The file was cut short after it was opened.
        std::string().swap(session.file_piece);
        *count = total;
        return total > 0 ? platform::IoStatus::kDone : platform::IoStatus::kClosed;
      }
      session.file_piece.resize(read);
      session.file_piece_offset = at;
    }
    size_t written = 0;
    int done = SSL_write_ex(session.ssl.get(), session.file_piece.data(), session.file_piece.size(),
                            &written);
    if (done != 1) {
      if (StallOf(session.ssl.get(), done) != Stall::kFailed) break;
      return Broken(session, error);
    }
    total += written;
    session.file_piece.erase(0, written);
    session.file_piece_offset += written;
  }
  // The piece's buffer is kept only while a write of it is pending.
  if (session.file_piece.empty()) std::string().swap(session.file_piece);
  *count = total;
  return total > 0 ? platform::IoStatus::kDone : platform::IoStatus::kWouldBlock;
}

void TlsTransport::Close(platform::SocketHandle socket) {
  auto found = sessions_.find(socket);
  if (found != sessions_.end()) {
    Session& session = *found->second;
    // One try: the alert fits the socket's buffer, and a client that is gone cannot take it.
    if (session.state == Session::State::kOpen) SSL_shutdown(session.ssl.get());
    ERR_clear_error();
    sessions_.erase(found);
  }
  system_.Close(socket);
}

int TlsTransport::WaitReady(std::vector<platform::ReadinessWatch>* watches, int timeout_us) {
  std::vector<size_t> turned, buffered;
  for (size_t i = 0; i < watches->size(); ++i) {
    platform::ReadinessWatch& watch = (*watches)[i];
    if (watch.want_write || watch.hang_up_only) continue;
    auto found = sessions_.find(watch.socket);
    if (found == sessions_.end()) continue;
    Session& session = *found->second;
    if (session.read_wants_write) {
      watch.want_write = true;
      turned.push_back(i);
    } else if (session.state == Session::State::kOpen && SSL_pending(session.ssl.get()) > 0) {
      buffered.push_back(i);
    }
  }
  int ready = system_.WaitReady(watches, buffered.empty() ? timeout_us : 0);
  for (size_t i : turned) (*watches)[i].want_write = false;
  for (size_t i : buffered) {
    if (!(*watches)[i].ready) ++ready;
    (*watches)[i].ready = true;
  }
  return ready;
}

std::string TlsTransport::PeerAddress(platform::SocketHandle socket) {
  return system_.PeerAddress(socket);
}

int64_t TlsTransport::TickCountMs() {
  return system_.TickCountMs();
}
