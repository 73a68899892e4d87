// One image of the catalogue: a plain file or a ZIP member. A plain value, copied freely:
// a copy shares the path's characters with the original.
#pragma once

#include <cstdint>

#include "server/catalogue/shared_path.h"

struct ImageEntry {
  // Folder path + "/" + file name, or archive path + "|/" + member name (UTF-8 bytes).
  SharedPath path;
  // 100-nanosecond units since 1970-01-01: the file's modification time, or a member's DOS
  // date and time taken as UTC.
  int64_t lastWriteTime = 0;
  // The next three are set when the list is taken into use; a fresh scan leaves them 0.
  uint32_t namePos = 0;     // position in the name order
  uint32_t datePos = 0;     // position in the date order
  int32_t folderIndex = 0;  // index of the image's folder group in name order
  uint32_t size = 0;        // bytes (a member's uncompressed size)

  bool operator==(const ImageEntry&) const = default;
};

// A list of a million pictures is held twice while a rescan's list is prepared beside the
// current one: every byte here counts twice a million times.
static_assert(sizeof(ImageEntry) == 32);
