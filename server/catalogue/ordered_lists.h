// The five orders of the catalogue, the search that narrows them and the pages they are cut
// into. Orders are published as immutable versions: a reader holds a version for as long as
// it needs one, so it sees the old or the new orders whole, never a mix.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mutex.h"
#include "server/catalogue/image_entry.h"
#include "server/catalogue/list_order.h"
#include "server/threads/shared_lock.h"

constexpr uint32_t kImagesPerPage = 100;

// The normalised paths of a list, one after another in one block: a list of 100 000 paths
// costs its characters and an offset each, not a string object and an allocation each. A
// path that normalises to itself (lower-case ASCII) costs its offset only.
class NormalizedPaths {
 public:
  // Appends the normalised form of `path`.
  void Add(std::string_view path);
  // The normalised form of the path added at `index`, which is `path`.
  std::string_view At(size_t index, std::string_view path) const;
  // Frees the spare capacity left by building.
  void ShrinkToFit();

 private:
  std::string text_;
  std::vector<size_t> ends_;  // end of each path in `text_`; a path kept as it is adds nothing
};

// One immutable version of the five orders.
class OrderSet {
 public:
  OrderSet();
  size_t Size(ListOrder order) const;
  // REQUIRES: position < Size(order).
  const ImageEntry& At(ListOrder order, size_t position) const;
  // The picture whose PictureId is `id`: true and a copy of its entry, whose namePos is its
  // position in the name order. The first lookup in a version hashes every path of it.
  bool FindPicture(std::string_view id, ImageEntry* out) const;

 private:
  friend class OrderedLists;
  friend class PreparedOrders;
  // Name, Date and both folder orders over one list of entries, which the catalogue shares
  // as its current list: the orders hold positions, not copies of the entries. The last
  // three orders hold name positions.
  struct ListPart {
    std::shared_ptr<const std::vector<ImageEntry>> entries =
        std::make_shared<const std::vector<ImageEntry>>();
    std::vector<uint32_t> by_name;  // index into `entries` at each name position
    // The paths as NormalizeForSearch folds them, for the search, cut at their last "/": the
    // folders once per folder group, and the names in name order, each followed by a "/" in
    // one block per group. A search looks for each word in the folder once and in the
    // group's block with one memmem, and so passes over most groups without visiting their
    // names; no word without a "/" can match across two names. 100 names cost their
    // characters, one offset each and no allocation.
    std::string folded_folders;
    std::vector<size_t> folder_ends;  // by group: end of its folder in `folded_folders`
    std::string folded_names;
    std::vector<size_t> group_names_begin;  // by group: where its names begin
    std::vector<uint32_t> name_ends;  // by name position: end of its "/" in the group's block
    std::vector<uint32_t> by_date;
    std::vector<uint32_t> top_by_name;
    std::vector<uint32_t> top_by_date;
    // Name positions by the PictureId of their entries, sorted by id. Made by the first
    // FindPicture, so a gallery whose links never name a picture by id never hashes a path.
    struct IdPosition {
      std::array<char, 32> id;
      uint32_t name_position;
    };
    mutable std::once_flag ids_made;
    mutable std::vector<IdPosition> ids;  // written once, under `ids_made`
  };
  struct LikesPart {
    std::vector<ImageEntry> entries;
    NormalizedPaths normalized;
  };
  // The name position of `position` in a Name-based order.
  size_t NameIndex(ListOrder order, size_t position) const;
  // Search on the Name-based orders: by name position, whether it matches all `tokens`.
  std::vector<bool> MatchingNames(const std::vector<std::string>& tokens) const;
  friend std::vector<uint32_t> Search(const OrderSet& orders, ListOrder order,
                                      std::string_view word);

  std::shared_ptr<const ListPart> list_;
  std::shared_ptr<const LikesPart> likes_;
};

// An order narrowed by a search word. The search runs once, at construction; `Count` and
// `Get` answer from its result and from the version of the orders it was made on.
class FilteredView {
 public:
  FilteredView(std::shared_ptr<const OrderSet> orders, ListOrder order, std::string_view word);

  uint32_t Count() const;
  // True and a copy of the entry when 0 <= position < Count().
  bool Get(int64_t position, ImageEntry* out) const;
  // The position of the entry in the unnarrowed order. REQUIRES: 0 <= position < Count().
  uint32_t OrderPosition(uint32_t position) const;

 private:
  friend class OrderedLists;
  using Matches = std::shared_ptr<const std::vector<uint32_t>>;
  FilteredView(std::shared_ptr<const OrderSet> orders, ListOrder order, Matches matches);

  std::shared_ptr<const OrderSet> orders_;
  ListOrder order_;
  bool everything_;  // empty word: no narrowing, `matches_` unused
  Matches matches_;  // ascending order positions, shared by the views of one search
};

// One page of a narrowed order: `count` consecutive positions from `first`.
struct PageRange {
  uint32_t first = 0;
  uint32_t count = 0;
  bool operator==(const PageRange&) const = default;
};
using PageList = std::vector<PageRange>;

// Pages of kImagesPerPage positions, the last holding the rest; none for 0 images.
PageList MakePages(uint32_t count);

// Order positions of `order` whose normalised path contains every token of `word`
// (all positions for an empty word), ascending.
std::vector<uint32_t> Search(const OrderSet& orders, ListOrder order, std::string_view word);

// Name, Date and both folder orders built from a positioned list, ready to be installed.
// Made on any thread, so the loop only swaps it in.
class PreparedOrders {
 public:
  PreparedOrders() = default;

 private:
  friend class OrderedLists;
  std::shared_ptr<const OrderSet::ListPart> part_;
};

class OrderedLists {
 public:
  OrderedLists();

  // Builds what BuildOrders installs; see there. The orders keep `list` itself.
  static PreparedOrders PrepareOrders(std::shared_ptr<const std::vector<ImageEntry>> list);
  // Replaces Name, Date and both folder orders; Likes stays as it is.
  void InstallOrders(const PreparedOrders& prepared);

  // Replaces Name, Date and both folder orders from a copy of `list`, whose namePos, datePos
  // and folderIndex are set (each position a permutation of 0..n-1). Likes stays as it is.
  void BuildOrders(const std::vector<ImageEntry>& list) {
    InstallOrders(PrepareOrders(std::make_shared<const std::vector<ImageEntry>>(list)));
  }
  // Replaces the Likes order.
  void SetLikes(const std::vector<ImageEntry>& likes);

  // The current version; hold it to read several things consistently.
  std::shared_ptr<const OrderSet> Current() const;

  std::vector<uint32_t> Search(ListOrder order, std::string_view word) const;
  // OrderSet::FindPicture on the current version.
  bool FindPicture(std::string_view id, ImageEntry* out) const {
    return Current()->FindPicture(id, out);
  }
  FilteredView View(ListOrder order, std::string_view word) const;
  // On the unnarrowed order: true and a copy when 0 <= position < size.
  // Tests only.
  bool GetAt(ListOrder order, int64_t position, ImageEntry* out) const;
  PageList MakePages(ListOrder order, std::string_view word) const;

 private:
  // Publishes a copy of the current version with the parts given (null: kept as they are).
  // The copy is made under the lock, so that two writers never lose each other's part.
  void Publish(std::shared_ptr<const OrderSet::ListPart> list,
               std::shared_ptr<const OrderSet::LikesPart> likes) EXCLUDES(lock_);

  // The last searches, so the hundred thumbnails of one page of results (each its own
  // /image request) search the catalogue once, not a hundred times.
  struct CachedSearch {
    std::weak_ptr<const OrderSet> orders;  // weak: a replaced version is not kept alive
    ListOrder order = ListOrder::Name;
    std::string word;
    std::shared_ptr<const std::vector<uint32_t>> matches;
  };
  static constexpr size_t kCachedSearches = 8;
  mutable platform::Mutex search_cache_lock_;
  mutable std::vector<CachedSearch> search_cache_ GUARDED_BY(search_cache_lock_);  // newest last

  mutable CSharedLock lock_;
  std::shared_ptr<const OrderSet> current_ GUARDED_BY(lock_);
};
