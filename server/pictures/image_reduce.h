// Reduction of JPEG, PNG and HEIF (HEIC, AVIF) pictures to the thumbnails of the thumbnail page.
// The results are kept by the thumbnail store (thumbnail_store.h).
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

// Replaces `*body`, the stored bytes of a picture sent as `content_type`, by its thumbnail:
// kThumbnailWidth pixels wide as the picture is shown (a JPEG is turned upright by its EXIF
// orientation first, a HEIF picture by its container's rotation and mirror, else by its EXIF
// orientation), height truncated from (150 / width) * height in 32-bit floating point.
// The data is decoded whatever its type says; the thumbnail is encoded in the format of
// `content_type`: "image/png" as PNG (alpha kept), "image/jpeg", "image/heic", "image/heif" and
// "image/avif" as JPEG at kThumbnailJpegQuality (see ThumbnailContentType). Returns true when
// `*body` was replaced. Returns false and leaves it as stored for any other type, for pictures no
// wider than a thumbnail or with a reduced height of 0, for pictures over kMaxReducePixels
// (kMaxFullDecodePixels or kMaxWideSampleDecodePixels where the whole picture is decoded at full
// size, kMaxJpegCoefficientBytes for a JPEG of several scans, kMaxHeifDecodePixels for the picture
// a HEIF file is decoded from), and on any failure to decode,
// resize or encode.
bool ReduceImage(std::string_view content_type, std::vector<uint8_t>* body);

// Whether ReduceImage reduces pictures sent as `content_type` (JPEG, PNG, HEIC, HEIF, AVIF).
bool ReducesType(std::string_view content_type);

// The Content-Type of the thumbnails ReduceImage makes of pictures sent as `content_type`:
// "image/jpeg" for HEIC, HEIF and AVIF; any other type is its own.
std::string_view ThumbnailContentType(std::string_view content_type);
