#include "server/pages/stb_decoder.h"

#include <stb_image.h>

#include <climits>

namespace {

constexpr int kRgbaChannels = 4;

// stb_image takes the data's length as an int.
bool FitsStb(std::span<const uint8_t> data) {
  return data.size() <= size_t{INT_MAX};
}

}  // namespace

bool ReadStbSize(std::span<const uint8_t> data, int* width, int* height) {
  int channels = 0;
  return FitsStb(data) &&
         stbi_info_from_memory(data.data(), static_cast<int>(data.size()), width, height,
                               &channels) != 0 &&
         *width > 0 && *height > 0;
}

StbPicture::~StbPicture() {
  stbi_image_free(const_cast<uint8_t*>(view_.pixels));
}

bool StbPicture::Decode(std::span<const uint8_t> data) {
  if (view_.pixels != nullptr || !FitsStb(data)) return false;
  int width = 0, height = 0, channels_in_file = 0;
  stbi_uc* pixels = stbi_load_from_memory(data.data(), static_cast<int>(data.size()), &width,
                                          &height, &channels_in_file, kRgbaChannels);
  if (pixels == nullptr) return false;
  view_ = {pixels, width, height, kRgbaChannels};
  return true;
}
