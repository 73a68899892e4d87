#include "server/pictures/picture_transparency.h"

#include <cstddef>

bool HasTransparency(const Picture& picture) {
  if (picture.channels != 4) return false;
  for (size_t i = 3; i < picture.pixels.size(); i += 4) {
    if (picture.pixels[i] != 255) return true;
  }
  return false;
}
