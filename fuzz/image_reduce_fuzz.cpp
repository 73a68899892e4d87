// Input: the stored bytes of a picture file, whatever its format. The thumbnail reduction is
// asked for it as a JPEG, a PNG, a BMP and a WebP. A file it cannot or must not reduce is left
// exactly as stored; a reduced one is a picture kThumbnailWidth pixels wide in the format it
// names (PNG or JPEG), made from a picture within the pixel bounds. Run it with
// -malloc_limit_mb=200: no input may make the decoders reserve more than one bounded decode needs.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "server/pictures/heif_decoder.h"
#include "server/pictures/image_reduce.h"
#include "server/pictures/jpeg_decoder.h"
#include "server/pictures/stb_decoder.h"
#include "server/pictures/webp_decoder.h"

namespace {

// The stored picture's pixel count as its header gives it; 0 when unknown. `*whole_decode`
// tells whether the reduction decodes it whole at full size (a HEIF picture may be reduced
// from its embedded thumbnail: only the overall bound holds for its own size).
int64_t HeaderPixels(const std::vector<uint8_t>& file, bool* whole_decode) {
  int width = 0, height = 0;
  bool cmyk = false;
  bool alpha = false;
  if (LooksLikeJpeg(file)) {
    JpegDecoder decoder;
    if (!decoder.ReadHeader(file, &width, &height, &cmyk)) return 0;
    *whole_decode = cmyk;
  } else if (LooksLikeWebp(file)) {
    *whole_decode = true;
    if (!ReadWebpFeatures(file, &width, &height, &alpha)) return 0;
  } else if (LooksLikeHeif(file)) {
    HeifPicture picture;
    if (!picture.Open(file)) return 0;
    width = picture.width();
    height = picture.height();
  } else {
    *whole_decode = true;
    if (!ReadStbSize(file, &width, &height)) return 0;
  }
  return int64_t{width} * height;
}

void Check(std::string_view type, const std::vector<uint8_t>& file) {
  std::vector<uint8_t> body = file;
  std::string_view reduced_type;
  if (!ReduceImage(type, kThumbnail, &body, &reduced_type)) {
    if (body != file) std::abort();  // a failed reduction must leave the stored bytes
    return;
  }
  const bool png = reduced_type == "image/png";
  if (png ? body.size() < 8 || body[0] != 0x89 || body[1] != 'P' : !LooksLikeJpeg(body)) {
    std::abort();
  }
  int width = 0, height = 0;
  if (!ReadStbSize(body, &width, &height) || width != kThumbnailWidth) {
    std::abort();
  }
  bool whole_decode = false;
  const int64_t pixels = HeaderPixels(file, &whole_decode);
  const int64_t full_bound =
      HasWideSamples(file) ? kMaxWideSampleDecodePixels : kMaxFullDecodePixels;
  if (pixels <= 0 || pixels > (whole_decode ? full_bound : kMaxReducePixels) ||
      (LooksLikeJpeg(file) && WholeCoefficientBytes(file) > kMaxJpegCoefficientBytes)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  // The type only decides whether the data is reduced: all four are.
  Check("image/jpeg", file);
  return 0;
}
