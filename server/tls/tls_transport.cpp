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
// Records sealed before they are sent together: one system call for this many bytes.
constexpr size_t kSealedBytesPerSend = 64 * 1024;
// What one Send or SendFile call takes at most, so that one fast reader does not hold up
// the loop.
constexpr size_t kBytesPerCall = 256 * 1024;

struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

// The write side of every session: records are sealed into the transport's buffer
// (TlsTransport::sealed_), never straight into the socket, so that all a call seals goes out
// in one send and a record is never written half while the socket is full.
int AppendSealed(BIO* bio, const char* data, int size) {
  static_cast<std::string*>(BIO_get_data(bio))->append(data, static_cast<size_t>(size));
  return size;
}

long SealedControl(BIO*, int command, long, void*) {
  // Flushing is the transport's own business, after every call that may seal a record.
  return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int CreateSealed(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

const BIO_METHOD* SealedRecords() {
  static const BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "sealed records");
    BIO_meth_set_write(m, AppendSealed);
    BIO_meth_set_ctrl(m, SealedControl);
    BIO_meth_set_create(m, CreateSealed);
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
  // A record of the caller's bytes that the socket has not taken whole yet.
  struct Record {
    uint64_t end;  // where it ends in all the bytes the session sealed
    size_t plain;  // the caller's bytes it carries
  };
  State state = State::kFirstByte;
  std::unique_ptr<SSL, SslFree> ssl;
  // The last read could not go on until the socket takes bytes (a handshake message).
  bool read_wants_write = false;
  std::string plain_head;
  // Sealed bytes the socket did not take yet, from `pending_from` on; they go before any
  // other. `sealed` and `sent` count all bytes sealed and sent on the connection.
  std::string pending;
  size_t pending_from = 0;
  uint64_t sealed = 0;
  uint64_t sent = 0;
  // The records of the caller's bytes among the pending ones, oldest first, and the caller's
  // bytes they carry together: sealed but not yet reported as sent. The caller offers them
  // again (the retry rule), and they are skipped then instead of sealed twice.
  std::vector<Record> records;
  size_t unreported = 0;
};

TlsTransport::TlsTransport(CertificateStore* certificates)
    : certificates_(*certificates), system_(platform::SystemSockets()) {
  file_piece_.resize(kRecordBytes);
}

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
      BIO* reads = BIO_new(BIO_s_socket());
      BIO* writes = BIO_new(SealedRecords());
      if (session.ssl == nullptr || reads == nullptr || writes == nullptr) {
        BIO_free(reads);
        BIO_free(writes);
        ERR_clear_error();
        session.state = Session::State::kClosed;
        return platform::IoStatus::kClosed;
      }
      BIO_set_fd(reads, socket, BIO_NOCLOSE);
      BIO_set_data(writes, &sealed_);
      SSL_set_bio(session.ssl.get(), reads, writes);
      SSL_set_accept_state(session.ssl.get());
      session.state = Session::State::kHandshake;
    }
  }
  if (session.state == Session::State::kHandshake && !session.pending.empty()) {
    // What the last call sealed (a handshake message) must reach the client first: it
    // waits for it before it sends more.
    platform::IoStatus flushed = Flush(socket, session, error);
    if (flushed == platform::IoStatus::kError) return Broken(session, error);
    if (flushed == platform::IoStatus::kWouldBlock) {
      session.read_wants_write = true;
      return flushed;
    }
  }
  switch (session.state) {
    case Session::State::kPlain:
      return ReceivePlain(socket, session);
    case Session::State::kHandshake: {
      int done = SSL_do_handshake(session.ssl.get());
      platform::IoStatus flushed = Flush(socket, session, error);
      if (flushed == platform::IoStatus::kError) return Broken(session, error);
      session.read_wants_write = flushed == platform::IoStatus::kWouldBlock;
      if (done != 1) {
        Stall stall = StallOf(session.ssl.get(), done);
        if (stall != Stall::kFailed) return platform::IoStatus::kWouldBlock;
        // A client that offers nothing acceptable (an old protocol version, a cipher without
        // forward secrecy) has been told by an alert; it is closed without a word here, as
        // scanners make many such attempts.
        session.state = Session::State::kClosed;
        return platform::IoStatus::kClosed;
      }
      session.state = Session::State::kOpen;
      return ReceiveDecrypted(socket, session, buffer, size, count, error);
    }
    case Session::State::kOpen:
      return ReceiveDecrypted(socket, session, buffer, size, count, error);
    default:
      return platform::IoStatus::kClosed;
  }
}

platform::IoStatus TlsTransport::ReceiveDecrypted(platform::SocketHandle socket,
                                                  Session& session, char* buffer, size_t size,
                                                  size_t* count, int* error) {
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
  // A read may answer the client itself (a key update, a session ticket).
  platform::IoStatus flushed = Flush(socket, session, error);
  if (flushed == platform::IoStatus::kError) return Broken(session, error);
  session.read_wants_write = flushed == platform::IoStatus::kWouldBlock;
  *count = total;
  if (total > 0) return platform::IoStatus::kDone;
  session.read_wants_write = session.read_wants_write || stall == Stall::kWrite;
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

platform::IoStatus TlsTransport::Flush(platform::SocketHandle socket, Session& session,
                                       int* error) {
  session.sealed += sealed_.size();
  if (!session.pending.empty()) {
    session.pending.append(sealed_);
    sealed_.clear();
  }
  // Without pending bytes, the sealed ones go straight from the transport's buffer.
  const bool from_pending = !session.pending.empty();
  std::string& out = from_pending ? session.pending : sealed_;
  size_t from = from_pending ? session.pending_from : 0;
  platform::IoStatus status = platform::IoStatus::kDone;
  while (from < out.size()) {
    size_t taken = 0;
    status = platform::SendSome(socket, out.data() + from, out.size() - from, &taken, error);
    from += taken;
    session.sent += taken;
    // A socket that takes less than all is full: asking again would only cost a call.
    if (status != platform::IoStatus::kDone || from < out.size()) break;
  }
  if (from_pending) {
    session.pending_from = from;
    if (from == out.size()) {
      std::string().swap(session.pending);
      session.pending_from = 0;
    }
  } else {
    if (from < out.size()) session.pending.assign(out, from);
    sealed_.clear();
  }
  if (status == platform::IoStatus::kError || status == platform::IoStatus::kClosed) {
    return platform::IoStatus::kError;
  }
  return session.pending.empty() ? platform::IoStatus::kDone : platform::IoStatus::kWouldBlock;
}

size_t TlsTransport::TakeReported(Session& session) {
  size_t reported = 0;
  size_t out = 0;
  while (out < session.records.size() && session.records[out].end <= session.sent) {
    reported += session.records[out++].plain;
  }
  session.records.erase(session.records.begin(),
                        session.records.begin() + static_cast<std::ptrdiff_t>(out));
  session.unreported -= reported;
  return reported;
}

bool TlsTransport::Seal(Session& session, std::string_view plain) {
  size_t written = 0;
  if (SSL_write_ex(session.ssl.get(), plain.data(), plain.size(), &written) != 1 ||
      written != plain.size()) {
    ERR_clear_error();
    return false;
  }
  session.records.push_back({session.sealed + sealed_.size(), plain.size()});
  session.unreported += plain.size();
  return true;
}

platform::IoStatus TlsTransport::Write(platform::SocketHandle socket, Session& session,
                                       const PlainSource& source, size_t size, size_t* count,
                                       int* error) {
  *count = 0;
  // Bytes sealed before go first; they are the first of those offered now.
  size_t offered = 0;
  if (!session.pending.empty() || session.unreported > 0) {
    platform::IoStatus flushed = Flush(socket, session, error);
    if (flushed == platform::IoStatus::kError) return Broken(session, error);
    *count = TakeReported(session);
    if (flushed == platform::IoStatus::kWouldBlock) {
      return *count > 0 ? platform::IoStatus::kDone : platform::IoStatus::kWouldBlock;
    }
  }
  offered = *count;
  bool cut_short = false;
  while (offered < size && offered < kBytesPerCall) {
    while (offered < size && sealed_.size() < kSealedBytesPerSend) {
      std::string_view piece;
      if (!source(offered, &piece)) {
        cut_short = true;
        break;
      }
      if (!Seal(session, piece)) return Broken(session, error);
      offered += piece.size();
    }
    platform::IoStatus flushed = Flush(socket, session, error);
    if (flushed == platform::IoStatus::kError) return Broken(session, error);
    *count += TakeReported(session);
    if (flushed == platform::IoStatus::kWouldBlock || cut_short) break;
  }
  if (cut_short && *count == 0 && session.unreported == 0) return platform::IoStatus::kClosed;
  return *count > 0 || size == 0 ? platform::IoStatus::kDone : platform::IoStatus::kWouldBlock;
}

platform::IoStatus TlsTransport::Send(platform::SocketHandle socket, std::string_view head,
                                      std::string_view tail, size_t* count, int* error) {
  *count = 0;
  auto found = sessions_.find(socket);
  if (found == sessions_.end() || found->second->state != Session::State::kOpen) {
    return platform::IoStatus::kError;
  }
  // The piece of the bytes from `at` on that fills the next record: a short head (a header
  // block) goes out in one record with the start of its body.
  auto source = [&](size_t at, std::string_view* piece) {
    if (at < head.size()) {
      std::string_view rest = head.substr(at);
      if (rest.size() < kRecordBytes && !tail.empty()) {
        joined_.assign(rest);
        joined_.append(tail.substr(0, kRecordBytes - rest.size()));
        *piece = joined_;
      } else {
        *piece = rest.substr(0, kRecordBytes);
      }
    } else {
      *piece = tail.substr(at - head.size(), kRecordBytes);
    }
    return true;
  };
  return Write(socket, *found->second, source, head.size() + tail.size(), count, error);
}

platform::IoStatus TlsTransport::SendFile(platform::SocketHandle socket, int file, uint64_t offset,
                                          size_t size, size_t* count, int* error) {
  *count = 0;
  auto found = sessions_.find(socket);
  if (found == sessions_.end() || found->second->state != Session::State::kOpen) {
    return platform::IoStatus::kError;
  }
  // The file is read a record at a time, so nothing is held beyond the records in flight.
  auto source = [&](size_t at, std::string_view* piece) {
    size_t read = platform::ReadOpenFileAt(file, offset + at, std::min(kRecordBytes, size - at),
                                           file_piece_.data());
    *piece = std::string_view(file_piece_.data(), read);
    return read > 0;  // 0: the file was cut short after it was opened
  };
  return Write(socket, *found->second, source, size, count, error);
}

void TlsTransport::Close(platform::SocketHandle socket) {
  auto found = sessions_.find(socket);
  if (found != sessions_.end()) {
    Session& session = *found->second;
    // One try: the alert fits the socket's buffer, and a client that is gone cannot take it.
    if (session.state == Session::State::kOpen) {
      SSL_shutdown(session.ssl.get());
      int error = 0;
      Flush(socket, session, &error);
    }
    ERR_clear_error();
    sealed_.clear();
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
