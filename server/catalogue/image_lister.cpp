#include "server/catalogue/image_lister.h"

#include <string>

#include "server/catalogue/image_types.h"

bool IsImagePath(std::string_view path) {
  return !PictureContentType(path).empty();
}

bool CImageLister::OnFile(const std::string& path, const FoundFile& found) {
  if (!IsImagePath(path)) return true;
  ImageEntry entry;
  entry.path = path;
  entry.lastWriteTime = found.lastWriteTime;
  entry.size = found.size;
  WriterLock hold(&lock_);
  files_.push_back(std::move(entry));
  return true;
}

std::vector<ImageEntry> CImageLister::Files() const {
  ReaderLock hold(&lock_);
  return files_;
}

void CImageLister::ReadFiles(
    const std::function<void(const std::vector<ImageEntry>&)>& read) const {
  ReaderLock hold(&lock_);
  read(files_);
}
