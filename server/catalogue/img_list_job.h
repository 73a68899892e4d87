// The scan job: one rescan of the catalogue's folders on a worker.
#pragma once

#include <string>
#include <vector>

#include "server/catalogue/folder_content.h"
#include "server/threads/thread_mgr.h"

class ImageCatalogue;

class CImgListJob : public CThreadCommand {
 public:
  // REQUIRES: `catalogue` outlives the job (its destructor waits for it).
  CImgListJob(ImageCatalogue* catalogue, std::vector<std::string> folders,
              ListingOptions options, bool full);
  // Brings the catalogue's folder listings up to date and hands it the list when it changed.
  int Run() override;

 private:
  ImageCatalogue* catalogue_;
  std::vector<std::string> folders_;
  ListingOptions options_;
  bool full_;
};
