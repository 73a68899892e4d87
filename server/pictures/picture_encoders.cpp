#include "server/pictures/picture_encoders.h"

#include <stb_image_write.h>

namespace {

// The writer callback: appends every chunk the encoder emits.
void AppendChunk(void* context, void* data, int size) {
  auto* buffer = static_cast<std::vector<uint8_t>*>(context);
  const auto* bytes = static_cast<const uint8_t*>(data);
  buffer->insert(buffer->end(), bytes, bytes + size);
}

}  // namespace

bool EncodePng(const Picture& picture, std::vector<uint8_t>* out) {
  std::vector<uint8_t> encoded;
  if (stbi_write_png_to_func(AppendChunk, &encoded, picture.width, picture.height, picture.channels,
                             picture.pixels.data(), picture.width * picture.channels) == 0) {
    return false;
  }
  *out = std::move(encoded);
  return true;
}

bool EncodeJpeg(const Picture& picture, int quality, std::vector<uint8_t>* out) {
  std::vector<uint8_t> encoded;
  if (stbi_write_jpg_to_func(AppendChunk, &encoded, picture.width, picture.height, picture.channels,
                             picture.pixels.data(), quality) == 0) {
    return false;
  }
  *out = std::move(encoded);
  return true;
}
