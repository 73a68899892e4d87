#include "server/catalogue/member_path.h"

#include "platform/file_system.h"
#include "platform/text.h"

namespace {

bool EndsWithZip(std::string_view path) {
  constexpr std::string_view kExtension = ".zip";
  if (path.size() < kExtension.size()) return false;
  return platform::EqualsIgnoreCase(path.substr(path.size() - kExtension.size()), kExtension);
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
