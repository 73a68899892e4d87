#include "server/pictures/image_reduce.h"

#include <new>
#include <span>

#include "server/pictures/box_shrink.h"
#include "server/pictures/exif_orientation.h"
#include "server/pictures/heif_decoder.h"
#include "server/pictures/jpeg_decoder.h"
#include "server/pictures/picture_encoders.h"
#include "server/pictures/picture_orientation.h"
#include "server/pictures/picture_resize.h"
#include "server/pictures/stb_decoder.h"

namespace {

enum class ThumbnailFormat { kPng, kJpeg };

bool FormatOf(std::string_view content_type, ThumbnailFormat* format) {
  if (content_type == "image/png") {
    *format = ThumbnailFormat::kPng;
  } else if (content_type == "image/jpeg" || content_type == "image/heic" ||
             content_type == "image/heif" || content_type == "image/avif") {
    // Few browsers show HEIF pictures: their thumbnails are JPEG.
    *format = ThumbnailFormat::kJpeg;
  } else {
    return false;
  }
  return true;
}

// The thumbnail's size in the stored orientation, so that it is kThumbnailWidth wide once
// turned upright. False when the picture is not to be reduced.
bool ThumbnailSize(int width, int height, int orientation, int* stored_width, int* stored_height) {
  if (int64_t{width} * height > kMaxReducePixels) return false;
  const bool sideways = OrientationTurnsSideways(orientation);
  const int shown_width = sideways ? height : width;
  const int shown_height = sideways ? width : height;
  if (shown_width <= kThumbnailWidth) return false;  // never enlarged
  const int reduced_height =
      static_cast<int>(static_cast<float>(kThumbnailWidth) / static_cast<float>(shown_width) *
                       static_cast<float>(shown_height));
  if (reduced_height == 0) return false;  // a picture over 150 times wider than high
  *stored_width = sideways ? reduced_height : kThumbnailWidth;
  *stored_height = sideways ? kThumbnailWidth : reduced_height;
  return true;
}

// Decoded whole as RGBA by stb_image, then resized and turned upright.
bool ReduceWithStb(std::span<const uint8_t> data, int orientation, Picture* thumbnail) {
  int width = 0, height = 0, target_width = 0, target_height = 0;
  const int64_t bound = HasWideSamples(data) ? kMaxWideSampleDecodePixels : kMaxFullDecodePixels;
  if (!ReadStbSize(data, &width, &height) || int64_t{width} * height > bound ||
      !ThumbnailSize(width, height, orientation, &target_width, &target_height)) {
    return false;
  }
  StbPicture decoded;
  if (!decoded.Decode(data) ||
      !ResizePicture(decoded.view(), target_width, target_height, thumbnail)) {
    return false;
  }
  OrientPicture(orientation, thumbnail);
  return true;
}

// JPEG data: decoded at the smallest DCT scale that still covers the thumbnail, then
// resized and turned upright. CMYK files, which TurboJPEG does not turn into RGB, go to
// stb_image, which does.
bool ReduceJpeg(std::span<const uint8_t> data, Picture* thumbnail) {
  JpegDecoder decoder;
  int width = 0, height = 0, target_width = 0, target_height = 0;
  bool cmyk = false;
  if (!decoder.ReadHeader(data, &width, &height, &cmyk)) return false;
  const int orientation = ReadJpegOrientation(data);
  if (cmyk) return ReduceWithStb(data, orientation, thumbnail);
  if (WholeCoefficientBytes(data) > kMaxJpegCoefficientBytes) return false;
  if (!ThumbnailSize(width, height, orientation, &target_width, &target_height)) return false;
  Picture decoded;
  if (!decoder.DecodeScaled(data, target_width, target_height, &decoded) ||
      !ResizePicture(ViewOf(decoded), target_width, target_height, thumbnail)) {
    return false;
  }
  OrientPicture(orientation, thumbnail);
  return true;
}

// HEIF data (HEIC, AVIF): decoded by libheif whole, or its embedded thumbnail when that
// covers the thumbnail, with the container's transforms; then resized and turned upright by
// the EXIF orientation where the container does not turn the picture itself.
bool ReduceHeif(std::span<const uint8_t> data, Picture* thumbnail) {
  HeifPicture picture;
  int target_width = 0, target_height = 0;
  if (!picture.Open(data) || !ThumbnailSize(picture.width(), picture.height(),
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
  if (!ResizePicture(decoded, target_width, target_height, thumbnail)) return false;
  OrientPicture(picture.orientation(), thumbnail);
  return true;
}

bool Reduce(ThumbnailFormat format, std::vector<uint8_t>* body) {
  const std::span<const uint8_t> data(*body);
  Picture thumbnail;
  bool reduced = false;
  if (LooksLikeJpeg(data)) {
    reduced = ReduceJpeg(data, &thumbnail);
  } else if (LooksLikeHeif(data)) {
    reduced = ReduceHeif(data, &thumbnail);
  } else {
    reduced = ReduceWithStb(data, kOrientationAsStored, &thumbnail);
  }
  if (!reduced) return false;
  return format == ThumbnailFormat::kPng ? EncodePng(thumbnail, body)
                                         : EncodeJpeg(thumbnail, kThumbnailJpegQuality, body);
}

}  // namespace

bool ReduceImage(std::string_view content_type, std::vector<uint8_t>* body) {
  ThumbnailFormat format;
  if (!FormatOf(content_type, &format)) return false;
  try {
    return Reduce(format, body);
  } catch (const std::bad_alloc&) {
    return false;  // the stored bytes are sent; `body` is only replaced after encoding
  }
}

bool ReducesType(std::string_view content_type) {
  ThumbnailFormat format;
  return FormatOf(content_type, &format);
}

std::string_view ThumbnailContentType(std::string_view content_type) {
  ThumbnailFormat format;
  if (!FormatOf(content_type, &format)) return content_type;
  return format == ThumbnailFormat::kPng ? "image/png" : "image/jpeg";
}
