#include "server/catalogue/member_path.h"

#include "platform/file_system.h"

namespace {

bool EndsWithZip(std::string_view path) {
  constexpr std::string_view kExtension = ".zip";
  if (path.size() < kExtension.size()) return false;
  std::string_view tail = path.substr(path.size() - kExtension.size());
  for (size_t i = 0; i < tail.size(); ++i) {
    char c = tail[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kExtension[i]) return false;
  }
  return true;
}

}  // namespace

std::string MakeMemberPath(std::string_view archive, std::string_view member) {
  std::string path(archive);
  path += kMemberSeparator;
  path += member;
  return path;
}

bool SplitMemberPath(std::string_view path, std::string* archive, std::string* member) {
  size_t at = path.find(kMemberSeparator);
  if (at == std::string_view::npos) return false;
  archive->assign(path.substr(0, at));
  member->assign(path.substr(at + kMemberSeparator.size()));
  return true;
}

bool IsMemberPath(std::string_view path) {
  size_t at = path.find(kMemberSeparator);
  if (at == std::string_view::npos || !EndsWithZip(path.substr(0, at))) return false;
  platform::FileStatus status;
  return platform::StatPath(std::string(path.substr(0, at)), &status) && status.is_regular;
}
