// The comparison job: decides whether a finished scan differs from the current list and,
// when it does, prepares the new list and its orders, so the loop only has to swap them in.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "server/catalogue/image_entry.h"
#include "server/catalogue/image_lister.h"
#include "server/threads/thread_mgr.h"

class ImageCatalogue;

// True when both hold the same (path, lastWriteTime) pairs, whatever their order.
bool SameImages(const std::vector<ImageEntry>& a, const std::vector<ImageEntry>& b);

class CCompareUpdatelist : public CThreadCommand {
 public:
  // REQUIRES: `catalogue` outlives the job (its destructor waits for it).
  CCompareUpdatelist(ImageCatalogue* catalogue,
                     std::shared_ptr<const std::vector<ImageEntry>> current,
                     std::shared_ptr<const CImageLister> scanned, uint32_t scan_count,
                     bool logical);
  int Run() override;

 private:
  ImageCatalogue* catalogue_;
  std::shared_ptr<const std::vector<ImageEntry>> current_;
  std::shared_ptr<const CImageLister> scanned_;
  uint32_t scan_count_;
  bool logical_;
};
