#include "server/pictures/jpeg_rendition.h"

#include <new>
#include <span>

#include "server/pictures/exif_orientation.h"
#include "server/pictures/heif_decoder.h"
#include "server/pictures/image_reduce.h"
#include "server/pictures/jpeg_decoder.h"
#include "server/pictures/picture_encoders.h"
#include "server/pictures/picture_orientation.h"

namespace {

bool RenderHeif(std::span<const uint8_t> data, int quality, std::vector<uint8_t>* out) {
  HeifPicture picture;
  if (!picture.Open(data)) return false;
  const int64_t pixels = int64_t{picture.width()} * picture.height();
  const int64_t bound = picture.HasWideSamples() ? kMaxHeifDecodePixels / 2 : kMaxHeifDecodePixels;
  if (pixels > kMaxReducePixels || pixels > bound || !picture.Decode(0, 0)) return false;
  if (picture.orientation() == kOrientationAsStored)
    return EncodeJpeg(picture.view(), quality, out);
  const PixelView decoded = picture.view();
  Picture upright;
  upright.width = decoded.width;
  upright.height = decoded.height;
  upright.channels = decoded.channels;
  upright.pixels.assign(decoded.pixels, decoded.pixels + pixels * decoded.channels);
  OrientPicture(picture.orientation(), &upright);
  return EncodeJpeg(ViewOf(upright), quality, out);
}

}  // namespace

bool MakeJpegRendition(int quality, std::vector<uint8_t>* body) {
  const std::span<const uint8_t> data(*body);
  if (LooksLikeJpeg(data)) return true;
  if (!LooksLikeHeif(data)) return false;
  try {
    std::vector<uint8_t> rendition;
    if (!RenderHeif(data, quality, &rendition)) return false;
    *body = std::move(rendition);
    return true;
  } catch (const std::bad_alloc&) {
    return false;  // the stored bytes are sent
  }
}
