// The certificate the TLS tests serve: self-signed for localhost and 127.0.0.1, made in the
// test's own folder and loaded, so that curl and openssl can trust it with --cacert.
#pragma once

#include <memory>
#include <string>

#include "server/tls/certificate_store.h"
#include "server/tls/self_signed_certificate.h"

// Null with the reason in `error` when the certificate could not be made or loaded; else the
// loaded store, with the certificate's path in `cert_path`.
inline std::unique_ptr<CertificateStore> LoopbackCertificate(const std::string& folder,
                                                             std::string* cert_path,
                                                             std::string* error) {
  if (!EnsureSelfSignedCertificate(folder, {"localhost"}, {"127.0.0.1"}, error)) return nullptr;
  *cert_path = SelfSignedPaths(folder).cert;
  auto store = std::make_unique<CertificateStore>(*cert_path, SelfSignedPaths(folder).key);
  if (!store->Load(error)) return nullptr;
  return store;
}
