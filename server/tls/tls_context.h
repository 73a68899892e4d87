// The TLS settings every HTTPS connection is made with, and the certificate they present.
// Internal to lv_tls.
#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <memory>
#include <string>

struct SslContextFree {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using SslContext = std::unique_ptr<SSL_CTX, SslContextFree>;

// A server context for the PEM certificate chain at `cert_path` (the server's certificate
// first, then its intermediates) and its private key at `key_path` (RSA or ECDSA): TLS 1.2
// and 1.3 only, forward-secret (ECDHE) cipher suites only, no compression, no renegotiation.
// ALPN selects "h2" when the client offers it and `*http2` is true, else "http/1.1"; `http2`
// must outlive the context. Null with `*error` saying which file and why when the files
// cannot be used.
SslContext MakeServerContext(const std::string& cert_path, const std::string& key_path,
                             const std::atomic<bool>* http2, std::string* error);

// The SHA-256 fingerprint of the context's certificate, as pairs of upper-case hex digits
// joined by ":" (as `openssl x509 -fingerprint -sha256` prints it).
std::string CertificateFingerprint(SSL_CTX* context);
