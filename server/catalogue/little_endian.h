// Little-endian numbers read from byte buffers, as the ZIP format stores them.
#pragma once

#include <cstdint>

inline uint16_t LoadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t LoadLe64(const uint8_t* p) {
  return uint64_t{LoadLe32(p)} | (uint64_t{LoadLe32(p + 4)} << 32);
}
