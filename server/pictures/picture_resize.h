// Resizing of a picture with stb_image_resize's default filters (a Mitchell filter when
// shrinking) and edge handling.
#pragma once

#include "server/pictures/picture.h"

// Resizes `source` to `width` x `height` with the same channels into `out`.
bool ResizePicture(const PixelView& source, int width, int height, Picture* out);
