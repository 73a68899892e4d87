// The screen-sized renditions of a picture: the widths the image page and the slide show
// offer the browser, which picks the one its screen needs.
#pragma once

#include <span>

#include "server/pictures/image_reduce.h"

// From a phone held upright (390 CSS px at 2-3 device pixels each) to a large desktop screen.
// Few widths, so that the store holds few renditions of each picture.
inline constexpr int kScreenWidths[] = {640, 1080, 1600, 2400};
// Screen renditions are seen at full size, where quality 82 is indistinguishable from the
// photo and a third the bytes of quality 95.
inline constexpr int kScreenJpegQuality = 82;

// The rendition for a request of `width` pixels: the smallest screen width that covers it,
// or the largest. Any other width would multiply the renditions a picture can have.
inline Rendition ScreenRendition(int width) {
  for (int offered : kScreenWidths) {
    if (offered >= width) return {offered, kScreenJpegQuality};
  }
  return {kScreenWidths[std::size(kScreenWidths) - 1], kScreenJpegQuality};
}
