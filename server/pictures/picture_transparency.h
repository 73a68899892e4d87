// Whether a picture needs its alpha channel: the type its reduced copy is encoded in follows
// from it.
#pragma once

#include "server/pictures/picture.h"

// True when some pixel of `picture` is not fully opaque. A picture without an alpha channel,
// or with one that is opaque everywhere (as many PNG and WebP files have), is not.
bool HasTransparency(const Picture& picture);
