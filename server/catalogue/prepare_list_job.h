// The job that makes a scanned list ready for use: positions it in the name and date
// orders and builds the orders over it, so the loop only has to swap them in.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "server/catalogue/image_entry.h"
#include "server/threads/thread_mgr.h"

class ImageCatalogue;

class CPrepareListJob : public CThreadCommand {
 public:
  // REQUIRES: `catalogue` outlives the job (its destructor waits for it).
  CPrepareListJob(ImageCatalogue* catalogue, std::shared_ptr<std::vector<ImageEntry>> list,
                  uint32_t scan_count, bool logical);
  int Run() override;

 private:
  ImageCatalogue* catalogue_;
  std::shared_ptr<std::vector<ImageEntry>> list_;  // this job's alone
  uint32_t scan_count_;
  bool logical_;
};
