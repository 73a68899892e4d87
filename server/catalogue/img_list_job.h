// The scan job: one full scan of the catalogue's folders on a worker.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "server/catalogue/image_lister.h"
#include "server/threads/thread_mgr.h"

class ImageCatalogue;

class CImgListJob : public CThreadCommand {
 public:
  // REQUIRES: `catalogue` outlives the job (its destructor waits for it).
  CImgListJob(ImageCatalogue* catalogue, std::shared_ptr<CImageLister> lister,
              std::vector<std::string> folders);
  // Scans into the lister, then hands it to the catalogue as its current result.
  int Run() override;

 private:
  ImageCatalogue* catalogue_;
  std::shared_ptr<CImageLister> lister_;
  std::vector<std::string> folders_;
};
