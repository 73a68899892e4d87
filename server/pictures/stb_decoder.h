// Decoding of every format stb_image reads (PNG, GIF, BMP, JPEG and others): the picture is
// recognised by its data, whatever its file name says.
#pragma once

#include <cstdint>
#include <span>

#include "server/pictures/picture.h"

// The size of the picture in `data`, read from its header without decoding it.
bool ReadStbSize(std::span<const uint8_t> data, int* width, int* height);

// True for a picture of more than 8 bits a channel (16-bit PNG or PSD, Radiance HDR), which
// stb_image decodes through buffers of 16-bit or float samples before it makes RGBA of it:
// twice the memory per pixel of other pictures, or more.
bool HasWideSamples(std::span<const uint8_t> data);

// A whole picture decoded as RGBA (grey, palette, 16-bit and alpha-less data converted), held
// in stb_image's own buffer, which is released with the object.
class StbPicture {
 public:
  StbPicture() = default;
  ~StbPicture();
  StbPicture(const StbPicture&) = delete;
  StbPicture& operator=(const StbPicture&) = delete;

  // False when `data` is no picture stb_image can decode.
  bool Decode(std::span<const uint8_t> data);
  PixelView view() const { return view_; }

 private:
  PixelView view_;  // its pixels are owned by this object
};
