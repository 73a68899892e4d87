// The EXIF orientation is read from the segments of any JPEG file the gallery serves.
#include <cstddef>
#include <cstdint>
#include <span>

#include "server/pictures/exif_orientation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int orientation = ReadJpegOrientation(std::span<const uint8_t>(data, size));
  if (orientation < 1 || orientation > 8) __builtin_trap();
  return 0;
}
