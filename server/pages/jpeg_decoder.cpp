#include "server/pages/jpeg_decoder.h"

#include <turbojpeg.h>

namespace {

constexpr int kRgbChannels = 3;

// The smallest scaling factor not above 1 whose scaled size still covers the minimum. Scaling
// factors are exact fractions, so they are compared by cross-multiplying.
tjscalingfactor SmallestCoveringFactor(int width, int height, int min_width, int min_height) {
  tjscalingfactor best = {1, 1};
  int count = 0;
  const tjscalingfactor* factors = tjGetScalingFactors(&count);
  for (int i = 0; factors != nullptr && i < count; ++i) {
    const tjscalingfactor f = factors[i];
    if (f.num > f.denom || TJSCALED(width, f) < min_width || TJSCALED(height, f) < min_height) {
      continue;
    }
    if (f.num * best.denom < best.num * f.denom) best = f;
  }
  return best;
}

}  // namespace

bool LooksLikeJpeg(std::span<const uint8_t> data) {
  return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

JpegDecoder::JpegDecoder() : handle_(tjInitDecompress()) {}

JpegDecoder::~JpegDecoder() {
  if (handle_ != nullptr) tjDestroy(handle_);
}

bool JpegDecoder::ReadHeader(std::span<const uint8_t> data, int* width, int* height, bool* cmyk) {
  int subsampling = 0, colorspace = 0;
  if (handle_ == nullptr || tjDecompressHeader3(handle_, data.data(), data.size(), width, height,
                                                &subsampling, &colorspace) != 0) {
    return false;
  }
  *cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
  return *width > 0 && *height > 0;
}

bool JpegDecoder::DecodeScaled(std::span<const uint8_t> data, int min_width, int min_height,
                               Picture* out) {
  int width = 0, height = 0;
  bool cmyk = false;
  if (!ReadHeader(data, &width, &height, &cmyk) || cmyk) return false;
  const tjscalingfactor factor = SmallestCoveringFactor(width, height, min_width, min_height);
  Picture picture;
  picture.width = TJSCALED(width, factor);
  picture.height = TJSCALED(height, factor);
  picture.channels = kRgbChannels;
  picture.pixels.resize(size_t(picture.width) * size_t(picture.height) * kRgbChannels);
  // LIMITSCANS refuses progressive files with an absurd number of scans, which would
  // otherwise take minutes to decode.
  if (tjDecompress2(handle_, data.data(), data.size(), picture.pixels.data(), picture.width, 0,
                    picture.height, TJPF_RGB, TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS) != 0) {
    return false;
  }
  *out = std::move(picture);
  return true;
}
