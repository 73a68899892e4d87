// A decoded picture in memory, the form every step of the thumbnail reduction works on.
#pragma once

#include <cstdint>
#include <vector>

// Rows top to bottom, packed without gaps, 8 bits per channel: RGB (3) or RGBA (4).
struct Picture {
  int width = 0;
  int height = 0;
  int channels = 0;
  std::vector<uint8_t> pixels;  // width * height * channels bytes
};

// Pixels in the layout of Picture held by someone else (a decoder's own buffer).
struct PixelView {
  const uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int channels = 0;
};

inline PixelView ViewOf(const Picture& picture) {
  return {picture.pixels.data(), picture.width, picture.height, picture.channels};
}
