#include "server/pictures/picture_encoders.h"

#include <stb_image_write.h>
#include <turbojpeg.h>

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

bool EncodeJpeg(const PixelView& picture, int quality, std::vector<uint8_t>* out) {
  // TurboJPEG takes grey, RGB and RGB with a fourth byte it skips; grey with alpha is made
  // grey first.
  std::vector<uint8_t> grey;
  const uint8_t* pixels = picture.pixels;
  int format = TJPF_GRAY;
  if (picture.channels == 2) {
    grey.resize(size_t(picture.width) * picture.height);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = picture.pixels[2 * i];
    pixels = grey.data();
  } else if (picture.channels == 3) {
    format = TJPF_RGB;
  } else if (picture.channels == 4) {
    format = TJPF_RGBX;
  } else if (picture.channels != 1) {
    return false;
  }
  tjhandle handle = tjInitCompress();
  if (handle == nullptr) return false;
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int subsampling = format == TJPF_GRAY ? TJSAMP_GRAY : TJSAMP_420;
  const bool encoded = tjCompress2(handle, pixels, picture.width, 0, picture.height, format, &jpeg,
                                   &size, subsampling, quality, TJFLAG_ACCURATEDCT) == 0;
  if (encoded) out->assign(jpeg, jpeg + size);
  tjFree(jpeg);
  tjDestroy(handle);
  return encoded;
}
