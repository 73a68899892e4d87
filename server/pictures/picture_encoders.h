// Encoding of a reduced picture as a complete PNG (stb_image_write) or baseline JPEG
// (TurboJPEG) file in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "server/pictures/picture.h"

// PNG with the picture's channels (alpha kept), the library's default compression.
bool EncodePng(const Picture& picture, std::vector<uint8_t>* out);

// Baseline JPEG at `quality` (1-100), chroma subsampled 2x2; an alpha channel is dropped.
bool EncodeJpeg(const PixelView& picture, int quality, std::vector<uint8_t>* out);
