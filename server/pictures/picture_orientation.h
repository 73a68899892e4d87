// Turning a picture upright by its EXIF orientation.
#pragma once

#include "server/pictures/picture.h"

// True when `orientation` (1-8) swaps width and height: the stored rows are shown as columns.
inline bool OrientationTurnsSideways(int orientation) {
  return orientation >= 5;
}

// Replaces `picture` by the picture as shown upright for EXIF `orientation` (1-8):
// 2 mirrored, 3 turned half round, 4 flipped, 5 transposed, 6 turned a quarter clockwise,
// 7 transposed across the other diagonal, 8 turned a quarter anticlockwise. Any other value
// leaves it as stored.
void OrientPicture(int orientation, Picture* picture);
