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
// and SendFile encrypt what they are given (SSL_write, one TLS record at a time; a file is
// read in 16 KiB pieces, so nothing is held beyond the piece in flight). A write that cannot
// go on reports what went out; the caller retries with the same remaining bytes, as with a
// plain socket. WaitReady also reports a socket readable while decrypted bytes wait inside
// its session. Close sends close_notify and frees the session.
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

#include <memory>
#include <string>
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
  std::string Protocol(platform::SocketHandle socket) const;
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
  platform::IoStatus ReceivePlain(platform::SocketHandle socket, Session& session);
  platform::IoStatus ReceiveDecrypted(Session& session, char* buffer, size_t size, size_t* count);
  // Marks a session whose write failed for good.
  static platform::IoStatus Broken(Session& session, int* error);

  CertificateStore& certificates_;
  platform::SocketLayer& system_;
  std::unordered_map<platform::SocketHandle, std::unique_ptr<Session>> sessions_;
};
