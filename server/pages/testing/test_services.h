// Test helper: the services the handlers share, each the test's own: the file access with its
// read budget, and a thumbnail store and a rendition store that keep what they make in memory
// only, so that no test writes into the user's cache.
#pragma once

#include "server/catalogue/testing/test_file_access.h"
#include "server/pictures/thumbnail_store.h"

struct TestServices : TestFileAccess {
  ThumbnailStore thumbnails{files, "", ThumbnailStore::kMemoryBytes, 0};
  ThumbnailStore renditions{files, "", ThumbnailStore::kRenditionMemoryBytes, 0};
};
