#include "server/catalogue/img_list_job.h"

#include "server/catalogue/image_catalogue.h"

CImgListJob::CImgListJob(ImageCatalogue* catalogue, std::vector<std::string> folders,
                         ListingOptions options, bool full)
    : catalogue_(catalogue), folders_(std::move(folders)), options_(options), full_(full) {}

int CImgListJob::Run() {
  catalogue_->Scan(folders_, options_, full_);
  return 0;
}
