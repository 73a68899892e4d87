#include "server/pictures/webp_decoder.h"

#include <webp/decode.h>

#include <cstring>

bool LooksLikeWebp(std::span<const uint8_t> data) {
  return data.size() >= 12 && std::memcmp(data.data(), "RIFF", 4) == 0 &&
         std::memcmp(data.data() + 8, "WEBP", 4) == 0;
}

bool ReadWebpFeatures(std::span<const uint8_t> data, int* width, int* height, bool* alpha) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data.data(), data.size(), &features) != VP8_STATUS_OK ||
      features.has_animation || features.width <= 0 || features.height <= 0) {
    return false;
  }
  *width = features.width;
  *height = features.height;
  *alpha = features.has_alpha != 0;
  return true;
}

bool DecodeWebp(std::span<const uint8_t> data, Picture* out) {
  int width = 0, height = 0;
  bool alpha = false;
  if (!ReadWebpFeatures(data, &width, &height, &alpha)) return false;
  Picture decoded;
  decoded.width = width;
  decoded.height = height;
  decoded.channels = alpha ? 4 : 3;
  const size_t stride = size_t(width) * size_t(decoded.channels);
  decoded.pixels.resize(stride * size_t(height));
  // Decoded straight into the picture's buffer: no second copy of a large picture.
  const uint8_t* written = alpha
                               ? WebPDecodeRGBAInto(data.data(), data.size(), decoded.pixels.data(),
                                                    decoded.pixels.size(), static_cast<int>(stride))
                               : WebPDecodeRGBInto(data.data(), data.size(), decoded.pixels.data(),
                                                   decoded.pixels.size(), static_cast<int>(stride));
  if (written == nullptr) return false;
  *out = std::move(decoded);
  return true;
}
