// Full-size JPEG renditions of the pictures most browsers cannot show (HEIC, HEIF, AVIF), for
// the browsers whose Accept header does not name the picture's type. A store of their own
// keeps them (thumbnail_store.h, kJpegRenditions) within bounds of their own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kRenditionJpegQuality = 90;
// The bounds of the rendition store: a 12-megapixel photo's rendition takes 3-6 MB.
inline constexpr size_t kRenditionMemoryBytes = size_t{64} << 20;
inline constexpr uint64_t kRenditionDiskBytes = uint64_t{2} << 30;

// Whether pictures sent as `content_type` have a JPEG rendition: "image/heic", "image/heif"
// and "image/avif".
bool HasJpegRendition(std::string_view content_type);

// Replaces `*body`, the stored bytes of a picture sent as `content_type`, by its rendition: a
// JPEG at kRenditionJpegQuality of the whole picture at its full size, turned upright as its
// thumbnail is (image_reduce.h). Data that is a JPEG already is its own rendition (browsers
// turn it by its EXIF orientation). Returns false and leaves `*body` as stored for other
// types, for data that is neither HEIF nor JPEG, past the bounds of image_reduce.h
// (kMaxReducePixels, kMaxHeifDecodePixels) and on any failure.
bool MakeJpegRendition(std::string_view content_type, std::vector<uint8_t>* body);

// The folder of the server's rendition store: "lumenvale/renditions" under the user's cache
// folder (XDG_CACHE_HOME, else ~/.cache).
std::string RenditionFolder();
