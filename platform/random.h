// Random numbers from the operating system's cryptographic source.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Fills `size` bytes; blocks only until the kernel's pool is first initialised.
void SecureRandomBytes(void* out, size_t size);

uint32_t SecureRandom32();

}  // namespace platform
