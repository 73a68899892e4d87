#include "server/pictures/jpeg_rendition.h"

#include <turbojpeg.h>

#include <new>
#include <span>

#include "server/pictures/exif_orientation.h"
#include "server/pictures/heif_decoder.h"
#include "server/pictures/image_reduce.h"
#include "server/pictures/jpeg_decoder.h"
#include "server/pictures/picture_orientation.h"

namespace {

// Encodes `picture` (RGB) with TurboJPEG, which is several times faster than the thumbnails'
// encoder at full size.
bool EncodeFullJpeg(const PixelView& picture, int quality, std::vector<uint8_t>* out) {
  tjhandle handle = tjInitCompress();
  if (handle == nullptr) return false;
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const bool encoded =
      tjCompress2(handle, picture.pixels, picture.width, 0, picture.height, TJPF_RGB, &jpeg, &size,
                  TJSAMP_420, quality, TJFLAG_ACCURATEDCT) == 0;
  if (encoded) out->assign(jpeg, jpeg + size);
  tjFree(jpeg);
  tjDestroy(handle);
  return encoded;
}

bool RenderHeif(std::span<const uint8_t> data, int quality, std::vector<uint8_t>* out) {
  HeifPicture picture;
  if (!picture.Open(data)) return false;
  const int64_t pixels = int64_t{picture.width()} * picture.height();
  const int64_t bound = picture.HasWideSamples() ? kMaxHeifDecodePixels / 2 : kMaxHeifDecodePixels;
  if (pixels > kMaxReducePixels || pixels > bound || !picture.Decode(0, 0)) return false;
  if (picture.orientation() == kOrientationAsStored)
    return EncodeFullJpeg(picture.view(), quality, out);
  const PixelView decoded = picture.view();
  Picture upright;
  upright.width = decoded.width;
  upright.height = decoded.height;
  upright.channels = decoded.channels;
  upright.pixels.assign(decoded.pixels, decoded.pixels + pixels * decoded.channels);
  OrientPicture(picture.orientation(), &upright);
  return EncodeFullJpeg(ViewOf(upright), quality, out);
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
