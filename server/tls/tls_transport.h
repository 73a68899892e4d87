// HTTPS on the server's one port: a socket layer (platform/socket_layer.h) that speaks TLS on
// every connection it accepts, so that the connection loop reads requests and writes answers
// as plain bytes, exactly as without TLS. Give it to CNoneBlockingServer in place of the
// system's sockets.
//
// How bytes flow. Accept takes the TCP connection and gives it a session, which looks at the
// first byte the client sends. 0x16 (a TLS handshake record) starts the handshake; anything
// else is a plain-HTTP request, which the session answers itself with a redirect to the same
// target on https:// (plain_http_redirect.h) before it reports the connection closed: the
// loop never sees a plain request. The handshake advances inside Receive, which the loop
// calls whenever the socket is readable (WaitReady reports the socket writable instead when
// the handshake waits to write). Once it is done, Receive returns decrypted bytes (SSL_read;
// kWouldBlock while none are there, kClosed at the client's close_notify or end), and Send
// and SendFile encrypt what they are given (SSL_write, full 16 KiB records; a file is read a
// record at a time). Records are sealed into one buffer and sent together, up to 64 KiB in
// one system call. A byte counts as sent once its whole record is in the socket; records the
// socket did not take yet wait in the session (64 KiB and a record at most) and go before
// anything else. So a write that cannot go on reports what went out, and the caller retries
// with the same remaining bytes, as with a plain socket; those already sealed are not sealed
// again. WaitReady also reports a socket readable while decrypted bytes wait inside its
// session. Close sends close_notify and frees the session.
//
// ALPN. The client offers protocols; the session selects "h2" when the client offers it and
// SetHttp2Enabled(true) was called (the HTTP/2 engine calls it once it can serve h2),
// otherwise "http/1.1". Protocol(socket) says what was selected once Receive has returned the
// connection's first bytes: "h2", "http/1.1", or "" when the client sent no ALPN (HTTP/1.1).
// An HTTP/2 session sits on the same transport: it reads frames with Receive and writes them
// with Send of the same socket, and keeps the retry rule above.
//
// All calls but TickCountMs are made on the loop's thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/socket_layer.h"
#include "server/tls/certificate_store.h"

class TlsTransport : public platform::SocketLayer {
 public:
  // REQUIRES: `certificates` is loaded and outlives the transport.
  explicit TlsTransport(CertificateStore* certificates);
  ~TlsTransport() override;
  TlsTransport(const TlsTransport&) = delete;
  TlsTransport& operator=(const TlsTransport&) = delete;

  void SetHttp2Enabled(bool enabled) { certificates_.SetHttp2Enabled(enabled); }
  // The protocol ALPN selected for the connection, as above.
  std::string Protocol(platform::SocketHandle socket) const override;
  // What the status page says of a connection: "TLSv1.3 http/1.1", "TLSv1.2 h2",
  // "TLS handshake", "plain HTTP" (being redirected); "" for a socket it does not know.
  std::string Describe(platform::SocketHandle socket) const;
  const CertificateStore& certificates() const { return certificates_; }

  // platform::SocketLayer.
  platform::SocketHandle Listen(const std::string& port, int backlog) override;
  int LocalPort(platform::SocketHandle listener) override;
  // Also reads the certificate files again when they changed (CertificateStore).
  platform::SocketHandle Accept(platform::SocketHandle listener) override;
  platform::IoStatus Receive(platform::SocketHandle socket, char* buffer, size_t size,
                             size_t* count, int* error) override;
  platform::IoStatus Send(platform::SocketHandle socket, std::string_view head,
                          std::string_view tail, size_t* count, int* error) override;
  platform::IoStatus SendFile(platform::SocketHandle socket, int file, uint64_t offset, size_t size,
                              size_t* count, int* error) override;
  void Close(platform::SocketHandle socket) override;
  int WaitReady(std::vector<platform::ReadinessWatch>* watches, int timeout_us) override;
  std::string PeerAddress(platform::SocketHandle socket) override;
  int64_t TickCountMs() override;
  bool HandshakeFirst() override { return true; }

 private:
  struct Session;
  // Gives the caller's bytes from `at` on for the next record: `*piece` holds at most one
  // record's worth and stays valid until the next call. False when there are none (a file
  // cut short).
  using PlainSource = std::function<bool(size_t at, std::string_view* piece)>;

  platform::IoStatus ReceivePlain(platform::SocketHandle socket, Session& session);
  platform::IoStatus ReceiveDecrypted(platform::SocketHandle socket, Session& session,
                                      char* buffer, size_t size, size_t* count, int* error);
  // Seals the `size` bytes of `source` into records and sends them, as Send promises;
  // *count is the number of bytes whose records the socket took whole.
  platform::IoStatus Write(platform::SocketHandle socket, Session& session,
                           const PlainSource& source, size_t size, size_t* count, int* error);
  // Seals `plain` (at most a record's worth) into sealed_; false when the session failed.
  bool Seal(Session& session, std::string_view plain);
  // Sends the session's pending bytes and then sealed_, which it leaves empty; what the
  // socket does not take stays pending. kDone when nothing is left, kWouldBlock when some
  // is, kError when the socket broke.
  platform::IoStatus Flush(platform::SocketHandle socket, Session& session, int* error);
  // The caller's bytes whose records have gone out since the last call.
  static size_t TakeReported(Session& session);
  // Marks a session whose write failed for good.
  static platform::IoStatus Broken(Session& session, int* error);

  CertificateStore& certificates_;
  platform::SocketLayer& system_;
  std::unordered_map<platform::SocketHandle, std::unique_ptr<Session>> sessions_;
  // What the SSL calls of the session at hand sealed, until Flush sends it. Every call that
  // may seal is followed by a Flush of its session, so it holds one session's bytes at most,
  // and it keeps its room for the next.
  std::string sealed_;
  std::string joined_;      // a short head and the start of its tail, as one record's bytes
  std::string file_piece_;  // a record's worth of a file being sent
};
