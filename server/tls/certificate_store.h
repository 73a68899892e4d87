// The certificate HTTPS connections are made with, read again when its files change.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "server/tls/tls_context.h"

class CertificateStore {
 public:
  // How often, at most, the files are looked at for a change.
  static constexpr int64_t kCheckIntervalMs = 2000;

  CertificateStore(std::string cert_path, std::string key_path);
  CertificateStore(const CertificateStore&) = delete;
  CertificateStore& operator=(const CertificateStore&) = delete;

  // Whether ALPN selects "h2" for a client that offers it (else "http/1.1"); off until the
  // HTTP/2 engine turns it on. Takes effect for new handshakes, whichever context they use.
  void SetHttp2Enabled(bool enabled) { http2_ = enabled; }

  // Reads the files; false with `*error` when they cannot be used.
  bool Load(std::string* error);
  // At most once in kCheckIntervalMs (`now_ms` on a monotonic clock): when a file's inode,
  // size or modification time changed, reads both again. Good files replace the context for
  // new connections (open ones keep theirs); bad ones leave the old context in use and are
  // named by Problem until good files replace them.
  void CheckForChange(int64_t now_ms);

  // The context for a new connection; null before a successful Load.
  SSL_CTX* context() const { return context_.get(); }
  const std::string& fingerprint() const { return fingerprint_; }
  const std::string& cert_path() const { return cert_path_; }
  const std::string& key_path() const { return key_path_; }
  // Why the files as they are now were not taken; "" when the certificate in use is theirs.
  const std::string& problem() const { return problem_; }

 private:
  // What identifies the two files' current contents cheaply.
  std::string Signature() const;

  const std::string cert_path_;
  const std::string key_path_;
  std::atomic<bool> http2_{false};
  SslContext context_;
  std::string fingerprint_;
  std::string problem_;
  std::string signature_;  // of the files when they were last read
  int64_t last_check_ms_ = 0;
};
