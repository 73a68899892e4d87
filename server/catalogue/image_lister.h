// The scan that keeps images: CFileLister with the image-name rule.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "server/catalogue/file_lister.h"
#include "server/catalogue/image_entry.h"
#include "server/threads/shared_lock.h"

// True when `path` names one of the picture types of PictureContentType (image_types.h).
bool IsImagePath(std::string_view path);

class CImageLister : public CFileLister {
 public:
  using CFileLister::CFileLister;

  // Keeps images; always goes on.
  bool OnFile(const std::string& path, const FoundFile& found) override;

  // A copy of the images found so far; safe while the scan runs.
  std::vector<ImageEntry> Files() const;
  // Calls `read` with the images found so far, without copying them; the scan waits for it.
  void ReadFiles(const std::function<void(const std::vector<ImageEntry>&)>& read) const;

 private:
  mutable CSharedLock lock_;
  std::vector<ImageEntry> files_ GUARDED_BY(lock_);
};
