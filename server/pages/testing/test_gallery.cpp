#include "server/pages/testing/test_gallery.h"

#include <cstdio>
#include <filesystem>

#include "server/catalogue/list_positions.h"

TestGallery::TestGallery()
    : pool_(std::make_unique<MySystem::CThreadMgr>(1)),
      catalogue_(std::make_unique<ImageCatalogue>(pool_.get(), access_.files)) {}

void TestGallery::Fill(const std::vector<std::string>& names) {
  std::vector<ImageEntry> list;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::filesystem::path path = folder_.Path(names[i]);
    std::filesystem::create_directories(path.parent_path());
    folder_.Write(names[i], "");
    ImageEntry entry;
    entry.path = SharedPath(path.string());
    entry.lastWriteTime = 1000 + static_cast<int64_t>(i);
    list.push_back(entry);
  }
  PositionList(&list, false);
  catalogue_->orders().BuildOrders(list);
}

void TestGallery::FillNumbered(int count) {
  std::vector<std::string> names;
  char name[32];
  for (int i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, "img%03d.jpg", i);
    names.push_back(name);
  }
  Fill(names);
}
