// JPEG decoding with libjpeg-turbo, reduced while decoding by DCT scaling: a large photo
// decoded at 1/8 of its size costs a fraction of a full decode and of its memory.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "server/pictures/picture.h"

// True when `data` starts like a JPEG file (SOI followed by a marker).
bool LooksLikeJpeg(std::span<const uint8_t> data);

// The bytes the decoder keeps for the coefficients of the whole JPEG `data` while it decodes
// it: 2 for each sample of each component, at any scale. Such a buffer is needed when the
// picture comes in several scans (a progressive file, or a first scan that holds fewer
// components than the frame); a file of one interleaved scan is decoded a row of blocks at a
// time and needs none: 0. Also 0 when the header cannot be read.
uint64_t WholeCoefficientBytes(std::span<const uint8_t> data);

// Sets the calling thread's pause point, or none (null): DecodeScaled calls it between rows of
// the picture, and it returns when the decode may go on. Work nobody waits for so gives the
// processors back within a row of blocks, where a decode would otherwise run to its end. The
// decoder holds no lock and no share of a budget while it waits. `point` must outlive its use.
void SetDecodePausePoint(const std::function<void()>* point);

// One decompressor; not shared between threads.
class JpegDecoder {
 public:
  JpegDecoder();
  ~JpegDecoder();
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  // The stored size of the JPEG `data`; false when its header cannot be read. `*cmyk` tells
  // a CMYK or YCCK file, which DecodeScaled does not convert to RGB.
  bool ReadHeader(std::span<const uint8_t> data, int* width, int* height, bool* cmyk);

  // Decodes `data` as RGB at the smallest scale (at most 1) that still gives at least
  // `min_width` x `min_height` pixels. Any warning of the decoder (such as data that ends too
  // early) is a failure, so a damaged file is never taken for a picture.
  bool DecodeScaled(std::span<const uint8_t> data, int min_width, int min_height, Picture* out);

 private:
  void* handle_;  // tjhandle; null when the decompressor could not be created
};
