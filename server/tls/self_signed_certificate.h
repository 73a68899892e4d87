// The certificate the server presents when it is given none: self-signed, made once and kept.
#pragma once

#include <string>
#include <vector>

// Where the made certificate and its key are kept: `folder` + "/tls-cert.pem" and
// "/tls-key.pem".
struct CertificatePaths {
  std::string cert;
  std::string key;
};
CertificatePaths SelfSignedPaths(const std::string& folder);

// Makes sure `folder` holds a self-signed certificate: when both files are there and the
// certificate is valid for 30 more days it leaves them, otherwise it makes an ECDSA P-256 key
// and a certificate for `names` (DNS names; the first is its common name) and `addresses`
// (dotted IPv4), valid for 825 days, and writes them, the key readable by its owner only. False
// with `*error` when they cannot be made or written.
bool EnsureSelfSignedCertificate(const std::string& folder, const std::vector<std::string>& names,
                                 const std::vector<std::string>& addresses, std::string* error);
