// Reduction of pictures to renditions: the thumbnails of the thumbnail page, the
// screen-sized pictures of the image page and the full-size JPEGs of HEIF pictures. The
// results are kept by the stores of thumbnail_store.h.
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
// The bound for HEIF pictures, which libheif decodes whole (or their embedded thumbnail, when
// that is large enough). A decode holds about 9.5 bytes a pixel (the coded data gathered
// again, the decoder's planes and block data, libheif's planes and the RGB picture; measured
// by bench/heif.sh): about 115 MB for the 12-megapixel photos of phones, about 160 MB at the
// bound, within the 256 MiB that bound any reduction. More than 8 bits a sample: half.
inline constexpr int64_t kMaxHeifDecodePixels = int64_t{1} << 24;

// One way of making a picture for sending: `width` pixels wide as it is shown upright
// (height in proportion), or kOwnWidth, encoded as JPEG at `jpeg_quality` when it has no
// transparency.
struct Rendition {
  int width;
  int jpeg_quality;
};
// The width of a rendition at the picture's own size, made only of HEIF pictures, which few
// browsers show (jpeg_rendition.h).
inline constexpr int kOwnWidth = 0;
inline constexpr Rendition kThumbnail{kThumbnailWidth, kThumbnailJpegQuality};
// The full-size JPEG of a HEIF picture for a browser that cannot show the picture itself.
inline constexpr Rendition kFullSizeJpeg{kOwnWidth, 90};

// Replaces `*body`, the stored bytes of a picture sent as `content_type`, by its
// `rendition`. Below the picture's width: `rendition.width` pixels wide as the picture is
// shown (a JPEG is turned upright by its EXIF orientation first, a HEIF picture by its
// container's rotation and mirror, else by its EXIF orientation), height truncated from
// (width / picture width) * height in 32-bit floating point; the data is decoded whatever its
// type says (JPEG, PNG, BMP, WebP, HEIF). A picture with transparency is encoded as PNG
// (alpha kept), any other as JPEG at `rendition.jpeg_quality`. At kOwnWidth: the JPEG
// rendition of a HEIC, HEIF or AVIF picture (MakeJpegRendition). `*reduced_type` tells the
// type made ("image/png" or "image/jpeg"). Returns true when `*body` was replaced. Returns
// false and leaves it as stored for types not reduced (GIF, SVG: see ReducesType), for
// pictures no wider than the rendition or with a reduced height of 0, for pictures over
// kMaxReducePixels (kMaxFullDecodePixels or kMaxWideSampleDecodePixels where the whole
// picture is decoded at full size, kMaxJpegCoefficientBytes for a JPEG of several scans,
// kMaxHeifDecodePixels for the picture a HEIF file is decoded from), for an animated WebP, for
// kOwnWidth of a type that is not HEIF, and on any failure to decode, resize or encode.
bool ReduceImage(std::string_view content_type, const Rendition& rendition,
                 std::vector<uint8_t>* body, std::string_view* reduced_type);

// Whether pictures sent as `content_type` are HEIC, HEIF or AVIF, which most browsers do not
// show: they have a rendition at kOwnWidth.
bool IsHeifType(std::string_view content_type);

// Whether ReduceImage reduces pictures sent as `content_type` ("image/jpeg", "image/png",
// "image/bmp", "image/webp" and the HEIF types). GIF (perhaps animated) and SVG are always
// sent as stored.
bool ReducesType(std::string_view content_type);
