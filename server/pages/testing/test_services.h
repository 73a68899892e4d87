// Test helper: the services the handlers share, each the test's own: the file access with its
// read budget, and the rendition stores (thumbnails, screen-sized pictures), which keep what
// they make in memory only, so that no test writes into the user's cache.
#pragma once

#include "server/catalogue/testing/test_file_access.h"
#include "server/pictures/thumbnail_store.h"

struct TestServices : TestFileAccess {
  ThumbnailStore thumbnails{files, "", ThumbnailStore::kMemoryBytes, 0};
  ThumbnailStore screen{files, "", ThumbnailStore::kScreenMemoryBytes, 0};
};
