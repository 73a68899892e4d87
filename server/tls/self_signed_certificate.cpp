#include "server/tls/self_signed_certificate.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "platform/file_replace.h"

namespace {

// 825 days, the longest life TLS checkers accept for a server certificate; a kept one is made
// again when less than kRenewBeforeSeconds of it remain.
constexpr long kValidSeconds = 825L * 24 * 60 * 60;
constexpr long kRenewBeforeSeconds = 30L * 24 * 60 * 60;
// Valid from an hour back, for clocks of visitors that run a little slow; the life counts
// from then.
constexpr long kBackdateSeconds = 3600;

struct Free {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  void operator()(X509* certificate) const { X509_free(certificate); }
  void operator()(BIO* bio) const { BIO_free(bio); }
};

// "DNS:a,DNS:b,IP:1.2.3.4": the subjectAltName of every name and address, each once.
std::string AltNames(const std::vector<std::string>& names,
                     const std::vector<std::string>& addresses) {
  std::vector<std::string> entries;
  auto add = [&entries](const std::string& entry) {
    for (const std::string& e : entries) {
      if (e == entry) return;
    }
    entries.push_back(entry);
  };
  for (const std::string& name : names) {
    // A name with characters a DNS name cannot hold would make the extension invalid.
    if (!name.empty() && name.find_first_of(",: ") == std::string::npos) add("DNS:" + name);
  }
  for (const std::string& address : addresses) add("IP:" + address);
  std::string text;
  for (const std::string& entry : entries) text += (text.empty() ? "" : ",") + entry;
  return text;
}

bool AddExtension(X509* certificate, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  if (extension == nullptr) return false;
  bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

std::unique_ptr<X509, Free> MakeCertificate(EVP_PKEY* key, const std::string& common_name,
                                            const std::string& alt_names) {
  std::unique_ptr<X509, Free> certificate(X509_new());
  X509* c = certificate.get();
  unsigned char serial[16];
  if (c == nullptr || RAND_bytes(serial, sizeof serial) != 1) return nullptr;
  serial[0] &= 0x7f;  // a positive serial number
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  bool ok = number != nullptr && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(c)) != nullptr;
  BN_free(number);
  ok = ok && X509_set_version(c, 2) == 1;
  ok = ok && X509_gmtime_adj(X509_getm_notBefore(c), -kBackdateSeconds) != nullptr &&
       X509_gmtime_adj(X509_getm_notAfter(c), kValidSeconds - kBackdateSeconds) != nullptr;
  X509_NAME* name = X509_get_subject_name(c);
  ok = ok && X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                                        reinterpret_cast<const unsigned char*>("Lumenvale"), -1, -1,
                                        0) == 1;
  ok = ok && X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                        reinterpret_cast<const unsigned char*>(common_name.c_str()),
                                        -1, -1, 0) == 1;
  ok = ok && X509_set_issuer_name(c, name) == 1 && X509_set_pubkey(c, key) == 1;
  ok = ok && AddExtension(c, NID_subject_alt_name, alt_names) &&
       AddExtension(c, NID_basic_constraints, "critical,CA:FALSE") &&
       AddExtension(c, NID_key_usage, "critical,digitalSignature") &&
       AddExtension(c, NID_ext_key_usage, "serverAuth") &&
       AddExtension(c, NID_subject_key_identifier, "hash");
  ok = ok && X509_sign(c, key, EVP_sha256()) > 0;
  if (!ok) return nullptr;
  return certificate;
}

// Whether the certificate at `path` can be read and is valid for kRenewBeforeSeconds more.
bool StillValid(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return false;
  std::unique_ptr<X509, Free> certificate(PEM_read_X509(file, nullptr, nullptr, nullptr));
  std::fclose(file);
  if (certificate == nullptr) return false;
  time_t renew_at = std::time(nullptr) + kRenewBeforeSeconds;
  return X509_cmp_time(X509_get0_notAfter(certificate.get()), &renew_at) > 0;
}

// The PEM text a writer puts into a memory buffer.
template <typename Write>
bool PemText(Write write, std::string* text) {
  std::unique_ptr<BIO, Free> bio(BIO_new(BIO_s_mem()));
  if (bio == nullptr || !write(bio.get())) return false;
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  text->assign(data, static_cast<size_t>(size));
  return true;
}

}  // namespace

CertificatePaths SelfSignedPaths(const std::string& folder) {
  return {folder + "/tls-cert.pem", folder + "/tls-key.pem"};
}

bool EnsureSelfSignedCertificate(const std::string& folder, const std::vector<std::string>& names,
                                 const std::vector<std::string>& addresses, std::string* error) {
  const CertificatePaths paths = SelfSignedPaths(folder);
  std::error_code ignored;
  if (std::filesystem::exists(paths.key, ignored) && StillValid(paths.cert)) return true;
  std::unique_ptr<EVP_PKEY, Free> key(EVP_EC_gen("P-256"));
  std::unique_ptr<X509, Free> certificate;
  if (key != nullptr) {
    certificate = MakeCertificate(key.get(), names.empty() ? "localhost" : names.front(),
                                  AltNames(names, addresses));
  }
  std::string key_pem, cert_pem;
  if (certificate == nullptr ||
      !PemText(
          [&](BIO* b) {
            return PEM_write_bio_PrivateKey(b, key.get(), nullptr, nullptr, 0, nullptr, nullptr) ==
                   1;
          },
          &key_pem) ||
      !PemText([&](BIO* b) { return PEM_write_bio_X509(b, certificate.get()) == 1; }, &cert_pem)) {
    *error = "A self-signed certificate could not be made";
    return false;
  }
  std::error_code made;
  std::filesystem::create_directories(folder, made);
  // The key first: a certificate without its key would be taken as made.
  if (!platform::ReplaceFileContents(paths.key, key_pem, 0600) ||
      !platform::ReplaceFileContents(paths.cert, cert_pem, 0644)) {
    *error = "The self-signed certificate could not be written into " + folder + " (" +
             std::strerror(errno) + ")";
    return false;
  }
  return true;
}
