// Pictures and picture files made by the tests of the image reduction, and a decoder that
// checks what the reduction wrote.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "server/pictures/picture.h"

using Rgba = std::array<uint8_t, 4>;

// A picture in four quadrants of solid colour: top-left, top-right, bottom-left, bottom-right.
Picture QuadrantPicture(int width, int height, int channels, const std::array<Rgba, 4>& colours);

// A picture of noise over a gradient, which compresses like a photo.
Picture NoisePicture(int width, int height);

// A PNG file written with stb_image_write.
std::vector<uint8_t> PngFile(const Picture& picture);

// A BMP file written with stb_image_write: 24-bit, or 32-bit with alpha for 4 channels.
std::vector<uint8_t> BmpFile(const Picture& picture);

// A WebP file written with libwebp, lossless or lossy at quality 90, with alpha for 4 channels.
std::vector<uint8_t> WebpFile(const Picture& picture, bool lossless);

// A JPEG file written with TurboJPEG at quality 95 (grey when the picture has one channel).
std::vector<uint8_t> JpegFile(const Picture& picture);

// A progressive JPEG written with TurboJPEG at quality 95, grey or RGB without subsampling.
std::vector<uint8_t> ProgressiveJpegFile(const Picture& picture);

// A CMYK JPEG (an Adobe YCCK file, as TurboJPEG writes it) of an RGB picture, its channels
// stored inverted as such files hold them: no black, and 255 - ink, which is the RGB value.
std::vector<uint8_t> CmykJpegFile(const Picture& rgb);

// `jpeg` with an EXIF APP1 segment holding one Orientation entry inserted after its SOI.
std::vector<uint8_t> WithExifOrientation(const std::vector<uint8_t>& jpeg, int orientation,
                                         bool big_endian = false);

// A file decoded again by stb_image as RGBA.
struct DecodedFile {
  bool ok = false;
  int width = 0;
  int height = 0;
  int channels_in_file = 0;
  std::vector<uint8_t> rgba;

  Rgba At(int x, int y) const;
};
DecodedFile DecodeFile(const std::vector<uint8_t>& file);

bool IsPngFile(const std::vector<uint8_t>& file);
bool IsJpegFile(const std::vector<uint8_t>& file);

// Whether two colours differ by at most `tolerance` in red, green and blue.
bool NearColour(const Rgba& a, const Rgba& b, int tolerance = 40);
