#include "server/catalogue/compare_updatelist.h"

#include <algorithm>
#include <tuple>

#include "server/catalogue/image_catalogue.h"
#include "server/catalogue/list_positions.h"

bool SameImages(const std::vector<ImageEntry>& a, const std::vector<ImageEntry>& b) {
  if (a.size() != b.size()) return false;
  // Sorting pointers keeps the comparison from copying every path of both lists.
  const auto sorted = [](const std::vector<ImageEntry>& list) {
    std::vector<const ImageEntry*> order;
    order.reserve(list.size());
    for (const ImageEntry& e : list) order.push_back(&e);
    std::sort(order.begin(), order.end(), [](const ImageEntry* x, const ImageEntry* y) {
      return std::tie(x->path, x->lastWriteTime) < std::tie(y->path, y->lastWriteTime);
    });
    return order;
  };
  const std::vector<const ImageEntry*> sa = sorted(a);
  const std::vector<const ImageEntry*> sb = sorted(b);
  for (size_t i = 0; i < sa.size(); ++i) {
    if (sa[i]->path != sb[i]->path || sa[i]->lastWriteTime != sb[i]->lastWriteTime) return false;
  }
  return true;
}

CCompareUpdatelist::CCompareUpdatelist(ImageCatalogue* catalogue,
                                       std::shared_ptr<const std::vector<ImageEntry>> current,
                                       std::shared_ptr<const CImageLister> scanned,
                                       uint32_t scan_count, bool logical)
    : catalogue_(catalogue),
      current_(std::move(current)),
      scanned_(std::move(scanned)),
      scan_count_(scan_count),
      logical_(logical) {}

int CCompareUpdatelist::Run() {
  ImageCatalogue::Comparison result;
  result.scan_count = scan_count_;
  const std::vector<ImageEntry> none;
  const auto compare = [&](const std::vector<ImageEntry>& files) {
    result.differs = !SameImages(*current_, files);
    if (!result.differs) return;
    // A copy made in one go keeps the list that stays in use together in memory, apart
    // from what the scan left between its entries.
    std::vector<ImageEntry> list = files;
    PositionList(&list, logical_);
    result.list = std::make_shared<const std::vector<ImageEntry>>(std::move(list));
    result.orders = OrderedLists::PrepareOrders(result.list);
  };
  if (scanned_) {
    scanned_->ReadFiles(compare);
  } else {
    compare(none);
  }
  current_.reset();
  scanned_.reset();
  catalogue_->FinishComparison(std::move(result));
  return 0;
}
