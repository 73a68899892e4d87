// Decoding of HEIF files (HEIC, HEIF and AVIF: pictures coded with HEVC or AV1 in the HEIF
// container) with libheif, which brings the decoders of both codings.
#pragma once

#include <cstdint>
#include <span>

#include "server/pictures/picture.h"

// True when `data` starts with the ftyp box of a HEIF file: its major brand or one of its
// compatible brands is one of "heic", "heix", "heim", "heis", "mif1", "msf1", "avif", "avis".
bool LooksLikeHeif(std::span<const uint8_t> data);

// True when the container of the HEIF file `data` turns or mirrors a picture itself (an
// "irot" or "imir" property).
bool HeifHasTransforms(std::span<const uint8_t> data);

// The primary picture of one HEIF file, read with libheif; not shared between threads.
class HeifPicture {
 public:
  HeifPicture() = default;
  ~HeifPicture();
  HeifPicture(const HeifPicture&) = delete;
  HeifPicture& operator=(const HeifPicture&) = delete;

  // Reads the container of `data`, which must stay alive and unchanged while the object is
  // used. False when it holds no primary picture that libheif can read.
  bool Open(std::span<const uint8_t> data);

  // The primary picture's size as the container shows it (its crop, rotation and mirror
  // applied), before the EXIF orientation.
  int width() const { return width_; }
  int height() const { return height_; }
  // True when a sample holds more than 8 bits (as 10-bit AVIF and HEIC do): the decoder then
  // keeps two bytes a sample.
  bool HasWideSamples() const { return wide_samples_; }

  // How the decoded picture is still to be turned (EXIF, 1-8): the Orientation of the
  // picture's Exif block when the container does not turn or mirror it itself. Otherwise
  // kOrientationAsStored: the container's transforms are applied while decoding, and the
  // Exif entry that phones write beside them must not turn the picture a second time.
  int orientation() const { return orientation_; }

  // Decodes as RGB (8 bits a sample, the container's transforms applied, alpha dropped) the
  // picture's embedded thumbnail when one is at least `min_width` x `min_height` and of the
  // picture's proportions, else the picture itself. REQUIRES: Open succeeded.
  bool Decode(int min_width, int min_height);
  // The decoded pixels, owned by this object; empty before Decode.
  PixelView view() const { return view_; }
  // The size of the picture Decode would decode for the same arguments, in pixels.
  int64_t DecodedPixels(int min_width, int min_height) const;

 private:
  // The embedded thumbnail to decode for the arguments of Decode, or null for the picture.
  const struct heif_image_handle* ThumbnailFor(int min_width, int min_height) const;

  struct heif_context* context_ = nullptr;
  struct heif_image_handle* primary_ = nullptr;
  struct heif_image_handle* thumbnail_ = nullptr;  // the largest embedded one, if any
  struct heif_image* decoded_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  bool wide_samples_ = false;
  int orientation_ = 1;
  PixelView view_;
};
