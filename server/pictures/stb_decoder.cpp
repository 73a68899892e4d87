#include "server/pictures/stb_decoder.h"

#include <stb_image.h>

#include <climits>
#include <cstring>

namespace {

constexpr int kRgbaChannels = 4;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kPngChunkFrame = 12;  // length, type and CRC around the chunk's data

uint32_t Big32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// False for a PNG file with a chunk longer than the bytes that follow it up to the end of the
// file. stb_image reserves a chunk's declared length before it reads the chunk, so such a
// file, which it refuses anyway, would have it reserve up to 2 GiB. Other data passes.
bool PngChunksFitTheFile(std::span<const uint8_t> data) {
  if (data.size() < sizeof kPngSignature ||
      std::memcmp(data.data(), kPngSignature, sizeof kPngSignature) != 0) {
    return true;
  }
  size_t pos = sizeof kPngSignature;
  while (data.size() - pos >= kPngChunkFrame) {
    const uint32_t length = Big32(&data[pos]);
    if (length > data.size() - pos - kPngChunkFrame) return false;
    if (std::memcmp(&data[pos + 4], "IEND", 4) == 0) break;
    pos += kPngChunkFrame + length;
  }
  return true;
}

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

bool HasWideSamples(std::span<const uint8_t> data) {
  if (!FitsStb(data)) return false;
  const int size = static_cast<int>(data.size());
  return stbi_is_16_bit_from_memory(data.data(), size) != 0 ||
         stbi_is_hdr_from_memory(data.data(), size) != 0;
}

StbPicture::~StbPicture() {
  stbi_image_free(const_cast<uint8_t*>(view_.pixels));
}

bool StbPicture::Decode(std::span<const uint8_t> data) {
  if (view_.pixels != nullptr || !FitsStb(data) || !PngChunksFitTheFile(data)) return false;
  int width = 0, height = 0, channels_in_file = 0;
  stbi_uc* pixels = stbi_load_from_memory(data.data(), static_cast<int>(data.size()), &width,
                                          &height, &channels_in_file, kRgbaChannels);
  if (pixels == nullptr) return false;
  view_ = {pixels, width, height, kRgbaChannels};
  return true;
}
