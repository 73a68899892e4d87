#include "server/tls/tls_context.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// TLS 1.2 suites with an ephemeral key exchange and an AEAD cipher; TLS 1.3 has no other.
constexpr char kTls12Ciphers[] =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
    "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
    "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";
constexpr char kGroups[] = "X25519:P-256:P-384";

// OpenSSL's reason for the failure, for a message a person reads: the first in its queue,
// which says what was wrong with the file ("no start line"); later ones only say where.
std::string LastSslError() {
  unsigned long code = ERR_peek_error();
  ERR_clear_error();
  if (code == 0) return "unknown error";
  const char* reason = ERR_reason_error_string(code);
  return reason != nullptr ? reason : "unknown error";
}

int SelectProtocol(SSL*, const unsigned char** out, unsigned char* out_length,
                   const unsigned char* offered, unsigned int offered_length, void* http2_flag) {
  static constexpr unsigned char kWithHttp2[] = "\x02h2\x08http/1.1";
  static constexpr unsigned char kHttp1Only[] = "\x08http/1.1";
  const bool http2 = static_cast<const std::atomic<bool>*>(http2_flag)->load();
  const unsigned char* ours = http2 ? kWithHttp2 : kHttp1Only;
  unsigned int ours_length = http2 ? sizeof kWithHttp2 - 1 : sizeof kHttp1Only - 1;
  unsigned char* selected = nullptr;
  // Our list's order decides: h2 wins over http/1.1 whatever order the client named them in.
  if (SSL_select_next_proto(&selected, out_length, ours, ours_length, offered, offered_length) !=
      OPENSSL_NPN_NEGOTIATED) {
    return SSL_TLSEXT_ERR_NOACK;  // no protocol in common: go on without ALPN (HTTP/1.1)
  }
  *out = selected;
  return SSL_TLSEXT_ERR_OK;
}

bool Readable(const std::string& path, const char* what, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = std::string(what) + " " + path + " cannot be read (" + std::strerror(errno) + ")";
    return false;
  }
  std::fclose(file);
  return true;
}

}  // namespace

SslContext MakeServerContext(const std::string& cert_path, const std::string& key_path,
                             const std::atomic<bool>* http2, std::string* error) {
  ERR_clear_error();
  if (!Readable(cert_path, "The certificate file", error) ||
      !Readable(key_path, "The private key file", error)) {
    return nullptr;
  }
  SslContext context(SSL_CTX_new(TLS_server_method()));
  if (context == nullptr) {
    *error = "TLS cannot be set up: " + LastSslError();
    return nullptr;
  }
  SSL_CTX* c = context.get();
  SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(c, TLS1_3_VERSION);
  SSL_CTX_set_options(
      c, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
  // Partial writes let a send report exactly what went out, record by record; a retried
  // write may come from another copy of the same bytes (the send queue's message moves).
  SSL_CTX_set_mode(c, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                          SSL_MODE_RELEASE_BUFFERS);
  if (SSL_CTX_set_cipher_list(c, kTls12Ciphers) != 1 || SSL_CTX_set1_groups_list(c, kGroups) != 1) {
    *error = "TLS cannot be set up: " + LastSslError();
    return nullptr;
  }
  if (SSL_CTX_use_certificate_chain_file(c, cert_path.c_str()) != 1) {
    *error = "The certificate file " + cert_path + " holds no usable PEM certificate (" +
             LastSslError() + ")";
    return nullptr;
  }
  if (SSL_CTX_use_PrivateKey_file(c, key_path.c_str(), SSL_FILETYPE_PEM) != 1) {
    if (ERR_GET_REASON(ERR_peek_error()) == X509_R_KEY_VALUES_MISMATCH) {
      ERR_clear_error();
      *error = "The private key file " + key_path + " does not belong to the certificate in " +
               cert_path;
      return nullptr;
    }
    *error = "The private key file " + key_path + " holds no usable PEM private key (" +
             LastSslError() + ")";
    return nullptr;
  }
  if (SSL_CTX_check_private_key(c) != 1) {
    *error =
        "The private key file " + key_path + " does not belong to the certificate in " + cert_path;
    ERR_clear_error();
    return nullptr;
  }
  SSL_CTX_set_alpn_select_cb(c, SelectProtocol, const_cast<std::atomic<bool>*>(http2));
  return context;
}

std::string CertificateFingerprint(SSL_CTX* context) {
  X509* certificate = SSL_CTX_get0_certificate(context);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest, &length) != 1) {
    return "";
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    if (i > 0) text += ':';
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  return text;
}
