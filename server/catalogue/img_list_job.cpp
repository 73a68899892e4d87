#include "server/catalogue/img_list_job.h"

#include "server/catalogue/image_catalogue.h"

CImgListJob::CImgListJob(ImageCatalogue* catalogue, std::shared_ptr<CImageLister> lister,
                         std::vector<std::string> folders)
    : catalogue_(catalogue), lister_(std::move(lister)), folders_(std::move(folders)) {}

int CImgListJob::Run() {
  lister_->Scan(folders_);
  catalogue_->FinishScan(lister_);
  return 0;
}
