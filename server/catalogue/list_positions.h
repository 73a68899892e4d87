// Gives a fresh scan result its positions in the name and date orders.
#pragma once

#include <vector>

#include "server/catalogue/image_entry.h"

// Sets namePos and folderIndex from the name order (CompareNames with `logical`) and datePos
// from the date order (oldest first; equal times keep name order), and leaves `list` in date
// order. The sort is stable and never relies on the comparison being transitive, so unusual
// names (folders differing only in case with `logical`) cannot upset it.
void PositionList(std::vector<ImageEntry>* list, bool logical);
