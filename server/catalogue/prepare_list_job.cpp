#include "server/catalogue/prepare_list_job.h"

#include "server/catalogue/image_catalogue.h"
#include "server/catalogue/list_positions.h"

CPrepareListJob::CPrepareListJob(ImageCatalogue* catalogue,
                                 std::shared_ptr<std::vector<ImageEntry>> list,
                                 uint32_t scan_count, bool logical)
    : catalogue_(catalogue), list_(std::move(list)), scan_count_(scan_count), logical_(logical) {}

int CPrepareListJob::Run() {
  ImageCatalogue::Prepared prepared;
  prepared.scan_count = scan_count_;
  PositionList(list_.get(), logical_);
  prepared.list = std::move(list_);
  prepared.orders = OrderedLists::PrepareOrders(prepared.list);
  catalogue_->FinishPreparing(std::move(prepared));
  return 0;
}
