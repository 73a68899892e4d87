#include "server/catalogue/list_positions.h"

#include <algorithm>
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
  // A stable sort: a merge sort stays inside its range even for a comparison that is not a
  // strict weak order, where an introsort may run past the ends.
  std::stable_sort(list->begin(), list->end(), [logical](const ImageEntry& a, const ImageEntry& b) {
    return CompareNames(a.path, b.path, logical);
  });
  int32_t group = -1;
  for (size_t i = 0; i < list->size(); ++i) {
    ImageEntry& e = (*list)[i];
    e.namePos = static_cast<uint32_t>(i);
    if (i == 0 || FolderWithSeparator(e.path) != FolderWithSeparator((*list)[i - 1].path)) {
      ++group;
    }
    e.folderIndex = group;
  }
  std::stable_sort(list->begin(), list->end(), [](const ImageEntry& a, const ImageEntry& b) {
    return a.lastWriteTime < b.lastWriteTime;
  });
  for (size_t i = 0; i < list->size(); ++i) (*list)[i].datePos = static_cast<uint32_t>(i);
}
