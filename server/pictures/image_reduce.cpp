#include "server/pictures/image_reduce.h"

#include <new>
#include <span>

#include "server/pictures/box_shrink.h"
#include "server/pictures/exif_orientation.h"
#include "server/pictures/heif_decoder.h"
#include "server/pictures/jpeg_decoder.h"
#include "server/pictures/jpeg_rendition.h"
#include "server/pictures/picture_encoders.h"
#include "server/pictures/picture_orientation.h"
#include "server/pictures/picture_resize.h"
#include "server/pictures/picture_transparency.h"
#include "server/pictures/stb_decoder.h"
#include "server/pictures/webp_decoder.h"

namespace {

// The reduced size in the stored orientation, so that it is `target` wide once turned
// upright. False when the picture is not to be reduced.
bool ReducedSize(int target, int width, int height, int orientation, int* stored_width,
                 int* stored_height) {
  if (int64_t{width} * height > kMaxReducePixels) return false;
  const bool sideways = OrientationTurnsSideways(orientation);
  const int shown_width = sideways ? height : width;
  const int shown_height = sideways ? width : height;
  if (shown_width <= target) return false;  // never enlarged
  const int reduced_height =
      static_cast<int>(static_cast<float>(target) / static_cast<float>(shown_width) *
                       static_cast<float>(shown_height));
  if (reduced_height == 0) return false;  // a picture far wider than high
  *stored_width = sideways ? reduced_height : target;
  *stored_height = sideways ? target : reduced_height;
  return true;
}

// Decoded whole as RGBA by stb_image, then resized and turned upright.
bool ReduceWithStb(std::span<const uint8_t> data, int target, int orientation, Picture* reduced) {
  int width = 0, height = 0, target_width = 0, target_height = 0;
  const int64_t bound = HasWideSamples(data) ? kMaxWideSampleDecodePixels : kMaxFullDecodePixels;
  if (!ReadStbSize(data, &width, &height) || int64_t{width} * height > bound ||
      !ReducedSize(target, width, height, orientation, &target_width, &target_height)) {
    return false;
  }
  StbPicture decoded;
  if (!decoded.Decode(data) ||
      !ResizePicture(decoded.view(), target_width, target_height, reduced)) {
    return false;
  }
  OrientPicture(orientation, reduced);
  return true;
}

// JPEG data: decoded at the smallest DCT scale that still covers the rendition, then
// resized and turned upright. CMYK files, which TurboJPEG does not turn into RGB, go to
// stb_image, which does.
bool ReduceJpeg(std::span<const uint8_t> data, int target, Picture* reduced) {
  JpegDecoder decoder;
  int width = 0, height = 0, target_width = 0, target_height = 0;
  bool cmyk = false;
  if (!decoder.ReadHeader(data, &width, &height, &cmyk)) return false;
  const int orientation = ReadJpegOrientation(data);
  if (cmyk) return ReduceWithStb(data, target, orientation, reduced);
  if (WholeCoefficientBytes(data) > kMaxJpegCoefficientBytes) return false;
  if (!ReducedSize(target, width, height, orientation, &target_width, &target_height)) {
    return false;
  }
  Picture decoded;
  if (!decoder.DecodeScaled(data, target_width, target_height, &decoded) ||
      !ResizePicture(ViewOf(decoded), target_width, target_height, reduced)) {
    return false;
  }
  OrientPicture(orientation, reduced);
  return true;
}

// WebP data, lossy or lossless: decoded whole at full size (libwebp), then resized.
bool ReduceWebp(std::span<const uint8_t> data, int target, Picture* reduced) {
  int width = 0, height = 0, target_width = 0, target_height = 0;
  bool alpha = false;
  if (!ReadWebpFeatures(data, &width, &height, &alpha) ||
      int64_t{width} * height > kMaxFullDecodePixels ||
      !ReducedSize(target, width, height, kOrientationAsStored, &target_width, &target_height)) {
    return false;
  }
  Picture decoded;
  return DecodeWebp(data, &decoded) &&
         ResizePicture(ViewOf(decoded), target_width, target_height, reduced);
}

// HEIF data (HEIC, AVIF): decoded by libheif whole, or its embedded thumbnail when that
// covers the rendition, with the container's transforms; then resized and turned upright by
// the EXIF orientation where the container does not turn the picture itself.
bool ReduceHeif(std::span<const uint8_t> data, int target, Picture* reduced) {
  HeifPicture picture;
  int target_width = 0, target_height = 0;
  if (!picture.Open(data) || !ReducedSize(target, picture.width(), picture.height(),
                                          picture.orientation(), &target_width, &target_height)) {
    return false;
  }
  const int64_t bound = picture.HasWideSamples() ? kMaxHeifDecodePixels / 2 : kMaxHeifDecodePixels;
  if (picture.DecodedPixels(target_width, target_height) > bound ||
      !picture.Decode(target_width, target_height)) {
    return false;
  }
  // A whole picture, unlike a JPEG, comes at full size: boxes take it most of the way down,
  // the filtered resize from twice the size does the rest.
  PixelView decoded = picture.view();
  Picture shrunk;
  const int factor = BoxShrinkFactor(decoded, target_width, target_height, 2);
  if (factor >= 2) {
    BoxShrink(decoded, factor, &shrunk);
    decoded = ViewOf(shrunk);
  }
  if (!ResizePicture(decoded, target_width, target_height, reduced)) return false;
  OrientPicture(picture.orientation(), reduced);
  return true;
}

bool Reduce(const Rendition& rendition, std::vector<uint8_t>* body,
            std::string_view* reduced_type) {
  const std::span<const uint8_t> data(*body);
  Picture reduced;
  bool made = false;
  if (LooksLikeJpeg(data)) {
    made = ReduceJpeg(data, rendition.width, &reduced);
  } else if (LooksLikeWebp(data)) {
    made = ReduceWebp(data, rendition.width, &reduced);
  } else if (LooksLikeHeif(data)) {
    made = ReduceHeif(data, rendition.width, &reduced);
  } else {
    made = ReduceWithStb(data, rendition.width, kOrientationAsStored, &reduced);  // PNG, BMP
  }
  if (!made) return false;
  // Transparency needs PNG; everything else is smallest as JPEG, whatever it was stored as.
  if (HasTransparency(reduced)) {
    if (!EncodePng(reduced, body)) return false;
    *reduced_type = "image/png";
  } else {
    if (!EncodeJpeg(ViewOf(reduced), rendition.jpeg_quality, body)) return false;
    *reduced_type = "image/jpeg";
  }
  return true;
}

}  // namespace

bool ReduceImage(std::string_view content_type, const Rendition& rendition,
                 std::vector<uint8_t>* body, std::string_view* reduced_type) {
  if (!ReducesType(content_type)) return false;
  if (rendition.width == kOwnWidth) {
    // Only the pictures browsers cannot show are worth a rendition at their own size.
    if (!IsHeifType(content_type) || !MakeJpegRendition(rendition.jpeg_quality, body)) {
      return false;
    }
    *reduced_type = "image/jpeg";
    return true;
  }
  try {
    return Reduce(rendition, body, reduced_type);
  } catch (const std::bad_alloc&) {
    return false;  // the stored bytes are sent; `body` is only replaced after encoding
  }
}

bool IsHeifType(std::string_view content_type) {
  return content_type == "image/heic" || content_type == "image/heif" ||
         content_type == "image/avif";
}

bool ReducesType(std::string_view content_type) {
  return content_type == "image/jpeg" || content_type == "image/png" ||
         content_type == "image/bmp" || content_type == "image/webp" || IsHeifType(content_type);
}
