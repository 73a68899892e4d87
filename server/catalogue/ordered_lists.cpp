#include "server/catalogue/ordered_lists.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "server/catalogue/picture_id.h"
#include "server/catalogue/search.h"

void NormalizedPaths::Add(std::string_view path) {
  const std::string normalized = NormalizeForSearch(path);
  if (normalized != path) text_ += normalized;
  ends_.push_back(text_.size());
}

std::string_view NormalizedPaths::At(size_t index, std::string_view path) const {
  const size_t begin = index == 0 ? 0 : ends_[index - 1];
  if (ends_[index] == begin) return path;
  return std::string_view(text_).substr(begin, ends_[index] - begin);
}

void NormalizedPaths::ShrinkToFit() {
  text_.shrink_to_fit();
  ends_.shrink_to_fit();
}

OrderSet::OrderSet()
    : list_(std::make_shared<const ListPart>()), likes_(std::make_shared<const LikesPart>()) {}

size_t OrderSet::Size(ListOrder order) const {
  switch (order) {
    case ListOrder::Name:
      return list_->by_name.size();
    case ListOrder::Date:
      return list_->by_date.size();
    case ListOrder::Likes:
      return likes_->entries.size();
    case ListOrder::FolderTopByName:
      return list_->top_by_name.size();
    case ListOrder::FolderTopByDate:
      return list_->top_by_date.size();
  }
  return 0;
}

size_t OrderSet::NameIndex(ListOrder order, size_t position) const {
  switch (order) {
    case ListOrder::Date:
      return list_->by_date[position];
    case ListOrder::FolderTopByName:
      return list_->top_by_name[position];
    case ListOrder::FolderTopByDate:
      return list_->top_by_date[position];
    default:
      return position;
  }
}

const ImageEntry& OrderSet::At(ListOrder order, size_t position) const {
  if (order == ListOrder::Likes) return likes_->entries[position];
  return (*list_->entries)[list_->by_name[NameIndex(order, position)]];
}

std::string_view OrderSet::NormalizedPath(ListOrder order, size_t position) const {
  const std::string_view path = At(order, position).path;
  if (order == ListOrder::Likes) return likes_->normalized.At(position, path);
  return list_->normalized.At(NameIndex(order, position), path);
}

bool OrderSet::FindPicture(std::string_view id, ImageEntry* out) const {
  using IdPosition = ListPart::IdPosition;
  if (!IsPictureIdShaped(id)) return false;
  const ListPart& list = *list_;
  std::call_once(list.ids_made, [&] {
    list.ids.reserve(list.by_name.size());
    for (uint32_t p = 0; p < list.by_name.size(); ++p) {
      IdPosition entry{{}, p};
      const std::string hex = PictureId((*list.entries)[list.by_name[p]].path);
      std::copy(hex.begin(), hex.end(), entry.id.begin());
      list.ids.push_back(entry);
    }
    std::sort(list.ids.begin(), list.ids.end(),
              [](const IdPosition& a, const IdPosition& b) { return a.id < b.id; });
  });
  IdPosition wanted{{}, 0};
  std::copy(id.begin(), id.end(), wanted.id.begin());
  auto found =
      std::lower_bound(list.ids.begin(), list.ids.end(), wanted,
                       [](const IdPosition& a, const IdPosition& b) { return a.id < b.id; });
  if (found == list.ids.end() || found->id != wanted.id) return false;
  *out = At(ListOrder::Name, found->name_position);
  return true;
}

FilteredView::FilteredView(std::shared_ptr<const OrderSet> orders, ListOrder order,
                           std::string_view word)
    : orders_(std::move(orders)), order_(order), everything_(word.empty()) {
  if (!everything_) {
    matches_ = std::make_shared<const std::vector<uint32_t>>(::Search(*orders_, order_, word));
  }
}

FilteredView::FilteredView(std::shared_ptr<const OrderSet> orders, ListOrder order, Matches matches)
    : orders_(std::move(orders)), order_(order), everything_(false), matches_(std::move(matches)) {}

uint32_t FilteredView::Count() const {
  return static_cast<uint32_t>(everything_ ? orders_->Size(order_) : matches_->size());
}

uint32_t FilteredView::OrderPosition(uint32_t position) const {
  return everything_ ? position : (*matches_)[position];
}

bool FilteredView::Get(int64_t position, ImageEntry* out) const {
  if (position < 0 || position >= Count()) return false;
  *out = orders_->At(order_, OrderPosition(static_cast<uint32_t>(position)));
  return true;
}

PageList MakePages(uint32_t count) {
  PageList pages;
  for (uint32_t first = 0; first < count; first += kImagesPerPage) {
    pages.push_back(PageRange{first, std::min(kImagesPerPage, count - first)});
  }
  return pages;
}

std::vector<uint32_t> Search(const OrderSet& orders, ListOrder order, std::string_view word) {
  const size_t size = orders.Size(order);
  std::vector<uint32_t> positions;
  if (word.empty()) {
    positions.resize(size);
    std::iota(positions.begin(), positions.end(), 0u);
    return positions;
  }
  const std::vector<std::string> tokens = SearchTokens(word);
  for (size_t p = 0; p < size; ++p) {
    if (MatchesAllTokens(orders.NormalizedPath(order, p), tokens)) {
      positions.push_back(static_cast<uint32_t>(p));
    }
  }
  return positions;
}

OrderedLists::OrderedLists() : current_(std::make_shared<const OrderSet>()) {}

PreparedOrders OrderedLists::PrepareOrders(std::shared_ptr<const std::vector<ImageEntry>> list) {
  auto part = std::make_shared<OrderSet::ListPart>();
  const std::vector<ImageEntry>& entries = *list;
  part->entries = std::move(list);
  // The positions are permutations, so each order is their inverse, placed in one pass
  // instead of sorted.
  part->by_name.resize(entries.size());
  for (uint32_t i = 0; i < entries.size(); ++i) part->by_name[entries[i].namePos] = i;
  const auto named = [&](uint32_t name_position) -> const ImageEntry& {
    return entries[part->by_name[name_position]];
  };
  for (uint32_t index : part->by_name) part->normalized.Add(entries[index].path);
  part->normalized.ShrinkToFit();

  part->by_date.resize(entries.size());
  for (uint32_t p = 0; p < entries.size(); ++p) part->by_date[named(p).datePos] = p;

  // A folder group is a maximal run of one folder in name order (one folderIndex): its
  // first entry has the smallest namePos; the entry with the smallest datePos represents it
  // by date.
  for (uint32_t i = 0; i < entries.size(); ++i) {
    if (i == 0 || named(i).folderIndex != named(i - 1).folderIndex) {
      part->top_by_name.push_back(i);
      part->top_by_date.push_back(i);
    } else if (named(i).datePos < named(part->top_by_date.back()).datePos) {
      part->top_by_date.back() = i;
    }
  }
  part->top_by_name.shrink_to_fit();
  part->top_by_date.shrink_to_fit();

  PreparedOrders prepared;
  prepared.part_ = std::move(part);
  return prepared;
}

void OrderedLists::InstallOrders(const PreparedOrders& prepared) {
  Publish(prepared.part_ ? prepared.part_ : std::make_shared<const OrderSet::ListPart>(), nullptr);
}

void OrderedLists::SetLikes(const std::vector<ImageEntry>& likes) {
  auto part = std::make_shared<OrderSet::LikesPart>();
  part->entries = likes;
  for (const ImageEntry& e : likes) part->normalized.Add(e.path);
  Publish(nullptr, std::move(part));
}

void OrderedLists::Publish(std::shared_ptr<const OrderSet::ListPart> list,
                           std::shared_ptr<const OrderSet::LikesPart> likes) {
  std::shared_ptr<const OrderSet> old;  // freed after `hold` has released the lock
  WriterLock hold(&lock_);
  auto next = std::make_shared<OrderSet>(*current_);
  if (list) next->list_ = std::move(list);
  if (likes) next->likes_ = std::move(likes);
  old = std::exchange(current_, std::move(next));
}

std::shared_ptr<const OrderSet> OrderedLists::Current() const {
  ReaderLock hold(&lock_);
  return current_;
}

std::vector<uint32_t> OrderedLists::Search(ListOrder order, std::string_view word) const {
  return ::Search(*Current(), order, word);
}

FilteredView OrderedLists::View(ListOrder order, std::string_view word) const {
  std::shared_ptr<const OrderSet> orders = Current();
  if (word.empty()) return FilteredView(orders, order, word);
  {
    platform::MutexLock hold(&search_cache_lock_);
    for (const CachedSearch& cached : search_cache_) {
      if (cached.orders.lock() == orders && cached.order == order && cached.word == word) {
        return FilteredView(orders, order, cached.matches);
      }
    }
  }
  auto matches = std::make_shared<const std::vector<uint32_t>>(::Search(*orders, order, word));
  platform::MutexLock hold(&search_cache_lock_);
  // Searches made on an older version of the orders can never match again.
  std::erase_if(search_cache_, [&](const CachedSearch& c) { return c.orders.lock() != orders; });
  if (search_cache_.size() >= kCachedSearches) search_cache_.erase(search_cache_.begin());
  search_cache_.push_back({orders, order, std::string(word), matches});
  return FilteredView(std::move(orders), order, std::move(matches));
}

bool OrderedLists::GetAt(ListOrder order, int64_t position, ImageEntry* out) const {
  std::shared_ptr<const OrderSet> orders = Current();
  if (position < 0 || static_cast<uint64_t>(position) >= orders->Size(order)) return false;
  *out = orders->At(order, static_cast<size_t>(position));
  return true;
}

PageList OrderedLists::MakePages(ListOrder order, std::string_view word) const {
  return ::MakePages(View(order, word).Count());
}
