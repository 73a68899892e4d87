// The EXIF orientation of a JPEG file: how its stored rows and columns must be turned to show
// the picture upright, as a browser shows the full picture.
#pragma once

#include <cstdint>
#include <span>

// The stored picture is already upright.
inline constexpr int kOrientationAsStored = 1;

// Returns the Orientation entry (1-8) of the first EXIF APP1 segment of the JPEG file `data`.
// Returns kOrientationAsStored when there is no such entry, when the segments before the first
// scan are damaged, or when the value lies outside 1-8: a picture is never turned on a guess.
int ReadJpegOrientation(std::span<const uint8_t> data);

// The Orientation entry (1-8) of the first image directory of the EXIF TIFF block `tiff`
// (from its "II" or "MM" header on), with the same fallback to kOrientationAsStored.
int ReadTiffOrientation(std::span<const uint8_t> tiff);
