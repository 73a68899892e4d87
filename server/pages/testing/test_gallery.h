// Test helper: a catalogue over real (empty) files in a temporary folder, its orders built
// directly from the file names, without a scan, with a file access of its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/testing/test_folder.h"
#include "server/catalogue/image_catalogue.h"
#include "server/catalogue/testing/test_file_access.h"

class TestGallery {
 public:
  TestGallery();

  // Creates the files (names relative to the folder, "/" making subfolders) and makes them
  // the catalogue's orders. The i-th name is the i-th oldest, so the date order is the order
  // of `names`. Replaces what an earlier call made.
  void Fill(const std::vector<std::string>& names);
  // Fill with "img000.jpg", "img001.jpg", ...
  void FillNumbered(int count);

  std::string Path(const std::string& name) const { return folder_.Path(name); }
  ImageCatalogue& catalogue() { return *catalogue_; }
  COmniFileAccess& files() { return access_.files; }

 private:
  TestFolder folder_;
  TestFileAccess access_;
  std::unique_ptr<MySystem::CThreadMgr> pool_;
  std::unique_ptr<ImageCatalogue> catalogue_;
};
