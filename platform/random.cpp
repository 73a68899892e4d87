#include "platform/random.h"

#include <sys/random.h>

#include <cerrno>

namespace platform {

void SecureRandomBytes(void* out, size_t size) {
  auto* p = static_cast<unsigned char*>(out);
  while (size > 0) {
    ssize_t n = getrandom(p, size, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // cannot happen on a kernel with getrandom; leave the rest as it is
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
}

uint32_t SecureRandom32() {
  uint32_t value = 0;
  SecureRandomBytes(&value, sizeof value);
  return value;
}

}  // namespace platform
