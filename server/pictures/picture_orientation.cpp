#include "server/pictures/picture_orientation.h"

#include <algorithm>

namespace {

struct Point {
  int x, y;
};

// The stored pixel shown at (x, y) of the upright picture; `w` x `h` is the stored size.
Point StoredPixel(int orientation, int x, int y, int w, int h) {
  switch (orientation) {
    case 2:
      return {w - 1 - x, y};
    case 3:
      return {w - 1 - x, h - 1 - y};
    case 4:
      return {x, h - 1 - y};
    case 5:
      return {y, x};
    case 6:
      return {y, h - 1 - x};
    case 7:
      return {w - 1 - y, h - 1 - x};
    case 8:
      return {w - 1 - y, x};
    default:
      return {x, y};
  }
}

}  // namespace

void OrientPicture(int orientation, Picture* picture) {
  if (orientation < 2 || orientation > 8) return;
  const int w = picture->width, h = picture->height, channels = picture->channels;
  const bool sideways = OrientationTurnsSideways(orientation);
  Picture upright;
  upright.width = sideways ? h : w;
  upright.height = sideways ? w : h;
  upright.channels = channels;
  upright.pixels.resize(picture->pixels.size());
  uint8_t* to = upright.pixels.data();
  for (int y = 0; y < upright.height; ++y) {
    for (int x = 0; x < upright.width; ++x, to += channels) {
      const Point from = StoredPixel(orientation, x, y, w, h);
      const uint8_t* pixel =
          picture->pixels.data() + (size_t(from.y) * size_t(w) + size_t(from.x)) * channels;
      std::copy(pixel, pixel + channels, to);
    }
  }
  *picture = std::move(upright);
}
