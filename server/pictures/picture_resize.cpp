#include "server/pictures/picture_resize.h"

#include <stb_image_resize.h>

#include <cstddef>

bool ResizePicture(const PixelView& source, int width, int height, Picture* out) {
  if (source.pixels == nullptr || width <= 0 || height <= 0) return false;
  Picture resized;
  resized.width = width;
  resized.height = height;
  resized.channels = source.channels;
  resized.pixels.resize(size_t(width) * size_t(height) * size_t(source.channels));
  // A stride of 0 means rows packed without gaps.
  if (stbir_resize_uint8(source.pixels, source.width, source.height, 0, resized.pixels.data(),
                         width, height, 0, source.channels) == 0) {
    return false;
  }
  *out = std::move(resized);
  return true;
}
