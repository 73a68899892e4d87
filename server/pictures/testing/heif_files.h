// HEIF test files, made from a picture by Debian's own encoders as a phone or a converter
// would write them: heif-enc (libheif-examples) for HEIC, avifenc (libavif-bin) for AVIF.
#pragma once

#include <cstdint>
#include <vector>

#include "server/pictures/picture.h"

struct HeicOptions {
  int exif_orientation = 0;  // 1-8: an Exif block with this Orientation; 0: none
  int thumbnail = 0;         // > 0: an embedded thumbnail of at most this size
};
// A HEIC file (HEVC) of `picture` (RGB) at quality 90; empty when heif-enc fails.
std::vector<uint8_t> HeicFile(const Picture& picture, HeicOptions options = {});

struct AvifOptions {
  int quarter_turns = 0;  // 1-3: an "irot" property turning the picture anticlockwise
  int bit_depth = 8;      // 8, 10 or 12
};
// An AVIF file (AV1) of `picture` (RGB); empty when avifenc fails.
std::vector<uint8_t> AvifFile(const Picture& picture, AvifOptions options = {});

// `heif` with the width and height of every "ispe" property (the size a picture declares)
// set to `size`: a file that claims a picture far larger than its data.
std::vector<uint8_t> WithDeclaredSize(std::vector<uint8_t> heif, uint32_t size);
