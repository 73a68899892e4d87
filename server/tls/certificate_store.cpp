#include "server/tls/certificate_store.h"

#include <cstdio>
#include <utility>

#include "platform/file_system.h"

CertificateStore::CertificateStore(std::string cert_path, std::string key_path)
    : cert_path_(std::move(cert_path)), key_path_(std::move(key_path)) {}

std::string CertificateStore::Signature() const {
  std::string signature;
  for (const std::string* path : {&cert_path_, &key_path_}) {
    platform::FileStatus file;
    if (!platform::StatPath(*path, &file)) {
      signature += "-;";
      continue;
    }
    signature += std::to_string(file.inode) + ":" + std::to_string(file.size) + ":" +
                 std::to_string(file.mtime_sec) + "." + std::to_string(file.mtime_nsec) + ";";
  }
  return signature;
}

bool CertificateStore::Load(std::string* error) {
  signature_ = Signature();
  SslContext context = MakeServerContext(cert_path_, key_path_, &http2_, error);
  if (context == nullptr) return false;
  context_ = std::move(context);
  fingerprint_ = CertificateFingerprint(context_.get());
  problem_.clear();
  return true;
}

void CertificateStore::CheckForChange(int64_t now_ms) {
  if (now_ms - last_check_ms_ < kCheckIntervalMs) return;
  last_check_ms_ = now_ms;
  std::string signature = Signature();
  if (signature == signature_) return;
  // A renewal may replace the two files one after the other: a key that does not match yet
  // is a problem only until the second file arrives, and the next change reads both again.
  SslContext old = std::move(context_);
  std::string old_fingerprint = fingerprint_;
  std::string error;
  if (Load(&error)) {
    std::printf("Certificate %s read again; SHA-256 fingerprint %s\n", cert_path_.c_str(),
                fingerprint_.c_str());
    std::fflush(stdout);
    return;
  }
  context_ = std::move(old);
  fingerprint_ = std::move(old_fingerprint);
  problem_ = error + "; the certificate read before is still in use";
  std::fprintf(stderr, "%s.\n", problem_.c_str());
}
