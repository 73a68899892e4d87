#include "server/catalogue/compare_updatelist.h"

#include <algorithm>
#include <tuple>

#include "platform/free_memory.h"
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
  {
    std::vector<ImageEntry> files = scanned_ ? scanned_->Files() : std::vector<ImageEntry>();
    result.differs = !SameImages(*current_, files);
    if (result.differs) {
      PositionList(&files, logical_);
      result.orders = OrderedLists::PrepareOrders(files);
      result.list = std::make_shared<const std::vector<ImageEntry>>(std::move(files));
    }
  }
  const bool unchanged = !result.differs;
  catalogue_->FinishComparison(std::move(result));
  // An unchanged rescan has just freed a whole list in many small blocks (and the scan
  // before it the previous scan's): give the pages back, so that the resident size stays
  // that of one catalogue however many rescans run.
  if (unchanged) platform::ReturnFreeMemory();
  return 0;
}
