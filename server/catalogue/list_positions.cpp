#include "server/catalogue/list_positions.h"

#include <algorithm>
#include <numeric>
#include <tuple>
#include <string_view>

#include "server/catalogue/compare_names.h"

namespace {

// The folder with its trailing "/".
std::string_view FolderWithSeparator(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

}  // namespace

void PositionList(std::vector<ImageEntry>* list, bool logical) {
  std::vector<ImageEntry>& entries = *list;
  // The sorts move indices, not entries: a merge sort of the entries themselves would take a
  // buffer of half the list.
  std::vector<uint32_t> order(entries.size());
  std::iota(order.begin(), order.end(), 0u);
  // A stable sort: a merge sort stays inside its range even for a comparison that is not a
  // strict weak order, where an introsort may run past the ends.
  const auto by_name = [&](uint32_t a, uint32_t b) {
    return CompareNames(entries[a].path, entries[b].path, logical);
  };
  // A scan forms its list folder by folder, mostly in name order already.
  if (!std::is_sorted(order.begin(), order.end(), by_name)) {
    std::stable_sort(order.begin(), order.end(), by_name);
  }
  int32_t group = -1;
  for (size_t i = 0; i < order.size(); ++i) {
    ImageEntry& e = entries[order[i]];
    e.namePos = static_cast<uint32_t>(i);
    if (i == 0 || FolderWithSeparator(e.path) != FolderWithSeparator(entries[order[i - 1]].path)) {
      ++group;
    }
    e.folderIndex = group;
  }
  // Oldest first; equal times keep name order.
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return std::tie(entries[a].lastWriteTime, entries[a].namePos) <
           std::tie(entries[b].lastWriteTime, entries[b].namePos);
  });
  for (size_t i = 0; i < order.size(); ++i) entries[order[i]].datePos = static_cast<uint32_t>(i);
  order = {};
  // Into date order in place: each swap puts one entry at its final place.
  for (size_t i = 0; i < entries.size(); ++i) {
    while (entries[i].datePos != i) std::swap(entries[i], entries[entries[i].datePos]);
  }
}
