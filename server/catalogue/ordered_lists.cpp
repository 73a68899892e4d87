#include "server/catalogue/ordered_lists.h"

#include <algorithm>
#include <numeric>
#include <string.h>
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

namespace {

// Where the name begins: after the last "/" (a path without one is all name).
size_t NameStart(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}

bool Contains(std::string_view text, std::string_view token) {
  return memmem(text.data(), text.size(), token.data(), token.size()) != nullptr;
}

}  // namespace

std::vector<bool> OrderSet::MatchingNames(const std::vector<std::string>& tokens) const {
  const ListPart& list = *list_;
  const size_t size = list.by_name.size();
  std::vector<bool> matching(size, false);
  // Words with a "/" may reach from the folder into the name, and are tried on whole paths.
  std::vector<std::string_view> whole, parts;
  for (const std::string& token : tokens) {
    if (token.find('/') != std::string::npos) {
      whole.push_back(token);
    } else if (!token.empty()) {
      parts.push_back(token);
    }
  }
  std::vector<std::string_view> in_names;
  std::string path;
  for (size_t group = 0; group < list.top_by_name.size(); ++group) {
    const size_t first = list.top_by_name[group];
    const size_t end = group + 1 < list.top_by_name.size() ? list.top_by_name[group + 1] : size;
    const size_t folder_begin = group == 0 ? 0 : list.folder_ends[group - 1];
    const std::string_view folder =
        std::string_view(list.folded_folders).substr(folder_begin, list.folder_ends[group] - folder_begin);
    const std::string_view names = std::string_view(list.folded_names)
                                       .substr(list.group_names_begin[group], list.name_ends[end - 1]);
    in_names.clear();
    bool possible = true;
    for (std::string_view token : parts) {
      if (Contains(folder, token)) continue;
      if (!Contains(names, token)) {
        possible = false;
        break;
      }
      in_names.push_back(token);
    }
    if (!possible) continue;
    uint32_t name_begin = 0;
    for (size_t p = first; p < end; ++p) {
      // Without its "/".
      const std::string_view name = names.substr(name_begin, list.name_ends[p] - 1 - name_begin);
      name_begin = list.name_ends[p];
      bool match = true;
      for (std::string_view token : in_names) {
        if (!Contains(name, token)) {
          match = false;
          break;
        }
      }
      if (match && !whole.empty()) {
        path.assign(folder);
        path.append(name);
        for (std::string_view token : whole) {
          if (!Contains(path, token)) {
            match = false;
            break;
          }
        }
      }
      if (match) matching[p] = true;
    }
  }
  return matching;
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
  if (order == ListOrder::Likes) {
    const OrderSet::LikesPart& likes = *orders.likes_;
    for (size_t p = 0; p < size; ++p) {
      if (MatchesAllTokens(likes.normalized.At(p, likes.entries[p].path), tokens)) {
        positions.push_back(static_cast<uint32_t>(p));
      }
    }
    return positions;
  }
  const std::vector<bool> matching = orders.MatchingNames(tokens);
  for (size_t p = 0; p < size; ++p) {
    if (matching[orders.NameIndex(order, p)]) positions.push_back(static_cast<uint32_t>(p));
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

  // The search's folded folders and names, group by group.
  part->folder_ends.reserve(part->top_by_name.size());
  part->group_names_begin.reserve(part->top_by_name.size());
  part->name_ends.resize(entries.size());
  size_t names_size = 0;
  for (const ImageEntry& e : entries) names_size += e.path.size() - NameStart(e.path) + 1;
  part->folded_names.reserve(names_size);
  for (uint32_t p = 0; p < entries.size(); ++p) {
    const std::string_view path = named(p).path;
    const size_t name_start = NameStart(path);
    if (part->folder_ends.size() < part->top_by_name.size() &&
        part->top_by_name[part->folder_ends.size()] == p) {
      AppendNormalizedForSearch(path.substr(0, name_start), &part->folded_folders);
      part->folder_ends.push_back(part->folded_folders.size());
      part->group_names_begin.push_back(part->folded_names.size());
    }
    AppendNormalizedForSearch(path.substr(name_start), &part->folded_names);
    part->folded_names.push_back('/');
    part->name_ends[p] =
        static_cast<uint32_t>(part->folded_names.size() - part->group_names_begin.back());
  }
  part->folded_folders.shrink_to_fit();
  part->folded_names.shrink_to_fit();

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
