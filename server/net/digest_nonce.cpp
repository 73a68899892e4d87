#include "server/net/digest_nonce.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "platform/random.h"
#include "server/net/nonce.h"

namespace {

// The nonce's 16 bytes: the issue time in 6 bytes (milliseconds, big-endian), a 2-byte serial
// number that tells apart the nonces of one millisecond, and the first 8 bytes of
// HMAC-SHA256 of those 8 bytes.
constexpr size_t kTimeBytes = 6;
constexpr size_t kStampBytes = kTimeBytes + 2;
constexpr size_t kMacBytes = kNonceBytes - kStampBytes;

void Mac(const unsigned char* secret, size_t secret_size, const unsigned char* stamp,
         unsigned char* mac) {
  unsigned char full[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  HMAC(EVP_sha256(), secret, static_cast<int>(secret_size), stamp, kStampBytes, full, &size);
  std::copy(full, full + kMacBytes, mac);
}

}  // namespace

DigestNonces::DigestNonces(int64_t lifetime_ms, size_t max_recorded)
    : lifetime_ms_(lifetime_ms), max_recorded_(max_recorded) {
  platform::SecureRandomBytes(secret_, sizeof secret_);
}

std::string DigestNonces::Issue(int64_t now_ms) {
  unsigned char bytes[kNonceBytes];
  uint64_t time = static_cast<uint64_t>(now_ms);
  for (size_t i = 0; i < kTimeBytes; ++i) {
    bytes[i] = static_cast<unsigned char>(time >> (8 * (kTimeBytes - 1 - i)));
  }
  ++serial_;
  bytes[kTimeBytes] = static_cast<unsigned char>(serial_ >> 8);
  bytes[kTimeBytes + 1] = static_cast<unsigned char>(serial_);
  Mac(secret_, sizeof secret_, bytes, bytes + kStampBytes);
  return NonceText(bytes);
}

bool DigestNonces::Verify(const std::string& nonce, int64_t* issued_ms) const {
  unsigned char bytes[kNonceBytes], mac[kMacBytes];
  if (!NonceBytes(nonce, bytes)) return false;
  Mac(secret_, sizeof secret_, bytes, mac);
  if (CRYPTO_memcmp(mac, bytes + kStampBytes, kMacBytes) != 0) return false;
  uint64_t time = 0;
  for (size_t i = 0; i < kTimeBytes; ++i) time = (time << 8) | bytes[i];
  *issued_ms = static_cast<int64_t>(time);
  return true;
}

void DigestNonces::Forget(int64_t now_ms) {
  while (!used_.empty() &&
         (used_.size() >= max_recorded_ || now_ms - used_.begin()->first.first >= lifetime_ms_)) {
    forgotten_until_ms_ = std::max(forgotten_until_ms_, used_.begin()->first.first);
    used_.erase(used_.begin());
  }
}

DigestNonces::Use DigestNonces::Record(const std::string& nonce, uint32_t nc, int64_t now_ms) {
  int64_t issued = 0;
  if (!Verify(nonce, &issued) || now_ms - issued >= lifetime_ms_ || issued > now_ms) {
    return Use::kStale;
  }
  Key key{issued, nonce};
  auto found = used_.find(key);
  if (found == used_.end()) {
    // Forgotten nonces cannot be told from replayed ones.
    if (issued <= forgotten_until_ms_) return Use::kStale;
    Forget(now_ms);
    if (issued <= forgotten_until_ms_) return Use::kStale;
    found = used_.emplace(key, Counts{}).first;
  }
  Counts& counts = found->second;
  if (nc > counts.highest) {
    uint32_t shift = nc - counts.highest;
    // The old highest becomes one of the counts below the new one.
    counts.below =
        shift > 64 ? 0 : ((counts.below << 1 | (counts.highest > 0 ? 1 : 0)) << (shift - 1));
    counts.highest = nc;
    return Use::kAccepted;
  }
  uint32_t distance = counts.highest - nc;  // 0: the highest itself
  if (nc == 0 || distance == 0 || distance > 64) return Use::kStale;
  uint64_t bit = uint64_t{1} << (distance - 1);
  if (counts.below & bit) return Use::kStale;
  counts.below |= bit;
  return Use::kAccepted;
}
