// Reduction of pictures to smaller renditions: the thumbnails of the thumbnail page and the
// screen-sized pictures of the image page. The results are kept by the rendition stores
// (thumbnail_store.h).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// The width of every thumbnail; its height keeps the picture's proportions.
inline constexpr int kThumbnailWidth = 150;
// The quality of a thumbnail encoded as JPEG.
inline constexpr int kThumbnailJpegQuality = 90;
// Pictures with more pixels than this are sent as stored instead of being decoded, which
// bounds the memory one reduction takes (256 MiB as RGBA; a 50-megapixel photo still fits).
inline constexpr int64_t kMaxReducePixels = int64_t{1} << 26;
// The bound for pictures decoded whole at full size (PNG, CMYK JPEG; other JPEGs are decoded
// scaled down): 32 MiB as RGBA, which keeps one decode with the decoder's own buffers near
// 100 MB. Larger ones are sent as stored. Pictures of more than 8 bits a channel (16-bit,
// HDR) take twice as much or more per pixel while they are decoded: half the bound.
inline constexpr int64_t kMaxFullDecodePixels = int64_t{1} << 23;
inline constexpr int64_t kMaxWideSampleDecodePixels = kMaxFullDecodePixels / 2;
// The bound for the coefficients a JPEG decoder keeps for a whole picture that comes in
// several scans (a progressive file): 64 MiB, a 22-megapixel photo with the usual 4:2:0
// sampling. Larger ones are sent as stored, however small their file is.
inline constexpr uint64_t kMaxJpegCoefficientBytes = uint64_t{1} << 26;

// One way of reducing a picture for sending: to `width` pixels wide as it is shown upright
// (height in proportion), encoded as JPEG at `jpeg_quality` when it has no transparency.
struct Rendition {
  int width;
  int jpeg_quality;
};
inline constexpr Rendition kThumbnail{kThumbnailWidth, kThumbnailJpegQuality};

// Replaces `*body`, the stored bytes of a picture sent as `content_type`, by its reduction to
// `rendition`: `rendition.width` pixels wide as the picture is shown (a JPEG is turned upright
// by its EXIF orientation first), height truncated from (width / picture width) * height in
// 32-bit floating point. The data is decoded whatever its type says (JPEG, PNG, BMP, WebP).
// A picture with transparency is encoded as PNG (alpha kept), any other as JPEG at
// `rendition.jpeg_quality`; `*reduced_type` tells which ("image/png" or "image/jpeg").
// Returns true when `*body` was replaced. Returns false and leaves it as stored for types not
// reduced (GIF, SVG: see ReducesType), for pictures no wider than the rendition or with a
// reduced height of 0, for pictures over kMaxReducePixels (kMaxFullDecodePixels or
// kMaxWideSampleDecodePixels where the whole picture is decoded at full size,
// kMaxJpegCoefficientBytes for a JPEG of several scans), for an animated WebP, and on any
// failure to decode, resize or encode.
bool ReduceImage(std::string_view content_type, const Rendition& rendition,
                 std::vector<uint8_t>* body, std::string_view* reduced_type);

// Whether ReduceImage reduces pictures sent as `content_type` ("image/jpeg", "image/png",
// "image/bmp", "image/webp"). GIF (perhaps animated) and SVG are always sent as stored.
bool ReducesType(std::string_view content_type);
