// Encoding of a reduced picture as a complete PNG or baseline JPEG file in memory
// (stb_image_write).
#pragma once

#include <cstdint>
#include <vector>

#include "server/pictures/picture.h"

// PNG with the picture's channels (alpha kept), the library's default compression.
bool EncodePng(const Picture& picture, std::vector<uint8_t>* out);

// Baseline JPEG at `quality` (1-100); an alpha channel is dropped.
bool EncodeJpeg(const Picture& picture, int quality, std::vector<uint8_t>* out);
