// Shrinking a large picture by a whole factor, each output pixel the mean of a square of
// input pixels (of every other row and column of it, in squares of 4 pixels a side or more):
// one pass over the picture, several times faster than a filtered resize of the whole, and
// without the aliasing of picking single pixels. A filtered resize of the result gives the
// final size.
#pragma once

#include "server/pictures/picture.h"

// The largest whole factor that keeps `source` at least `min_factor` times as large as
// `width` x `height` in both directions after shrinking; 1 when no shrinking is needed.
int BoxShrinkFactor(const PixelView& source, int width, int height, int min_factor);

// `source` (3 or 4 channels) shrunk by `factor` (>= 2) into `out`: width / factor x height / factor
// pixels, the last incomplete rows and columns of squares left out.
void BoxShrink(const PixelView& source, int factor, Picture* out);
