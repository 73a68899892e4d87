// Full-size JPEG renditions of the pictures most browsers cannot show (HEIC, HEIF, AVIF), for
// the browsers whose Accept header does not name the picture's type. ReduceImage makes them
// for the rendition at kOwnWidth (image_reduce.h), kept in the rendition store beside the
// screen-sized ones (thumbnail_store.h).
#pragma once

#include <cstdint>
#include <vector>

// Replaces `*body`, the stored bytes of a HEIF picture, by its rendition: a JPEG at `quality`
// of the whole picture at its full size, turned upright as its thumbnail is. Data that is a
// JPEG already is its own rendition (browsers turn it by its EXIF orientation). Returns false
// and leaves `*body` as stored for data that is neither HEIF nor JPEG, past the bounds of
// image_reduce.h (kMaxReducePixels, kMaxHeifDecodePixels) and on any failure.
bool MakeJpegRendition(int quality, std::vector<uint8_t>* body);
