// Decoding of WebP pictures (lossy, lossless, with or without alpha) with libwebp. An
// animated WebP is not decoded: it is sent as stored, like a GIF.
#pragma once

#include <cstdint>
#include <span>

#include "server/pictures/picture.h"

// True when `data` starts like a WebP file ("RIFF" .... "WEBP").
bool LooksLikeWebp(std::span<const uint8_t> data);

// The size of the still WebP picture in `data` and whether it has an alpha channel, read from
// its header. False for data libwebp cannot read, and for an animation.
bool ReadWebpFeatures(std::span<const uint8_t> data, int* width, int* height, bool* alpha);

// Decodes `data` as RGBA when it has an alpha channel, else as RGB.
bool DecodeWebp(std::span<const uint8_t> data, Picture* out);
