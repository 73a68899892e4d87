#include "server/catalogue/image_lister.h"

#include <mutex>
#include <shared_mutex>
#include <string>

bool IsImagePath(std::string_view path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return false;
  std::string_view ext = path.substr(dot + 1);
  for (char cut : {'-', '_', ':'}) ext = ext.substr(0, ext.find(cut));
  if (ext.size() > 4) return false;
  std::string lower(ext);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  for (std::string_view image :
       {"jpeg", "jpg", "bmp", "gif", "apng", "png", "svg", "svgz", "webp"}) {
    if (lower == image) return true;
  }
  return false;
}

bool CImageLister::OnFile(const std::string& path, const FoundFile& found) {
  if (!IsImagePath(path)) return true;
  ImageEntry entry;
  entry.path = path;
  entry.lastWriteTime = found.lastWriteTime;
  entry.size = found.size;
  std::unique_lock<CSharedLock> hold(lock_);
  files_.push_back(std::move(entry));
  return true;
}

std::vector<ImageEntry> CImageLister::Files() const {
  std::shared_lock<CSharedLock> hold(lock_);
  return files_;
}
